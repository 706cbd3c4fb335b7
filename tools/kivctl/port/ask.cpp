// SPDX-License-Identifier: MIT
// kivctl serial ask: one request and its reply.
#include <chrono>

#include "argument_checks.h"
#include "byte_words.h"
#include "kiv_serial.h"
#include "port/port_sessions.h"
#include "results.h"
#include "serial/port_table.h"
#include "watch/event_sources.h"
#include "watch/stop_signals.h"

namespace kivctl {
namespace {

using Clock = std::chrono::steady_clock;

// A reply longer than this is cut here: a peer that streams is no request's
// reply.
constexpr size_t kMaxReply = 64 * 1024;

Clock::duration seconds(double s) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

}  // namespace

int ask_port(Session& session, const AskArgs& a) {
  const std::string path = "/dev/" + a.port;
  StopSignals signals;
  EventQueue queue;
  std::string reply;
  {
    // The reply is listened for before the request leaves.
    EventSources taps(session, queue, a.line);
    std::string error;
    if (!taps.start({a.port}, error))
      return complain("serial ask: " + error);
    std::string bytes = a.bytes;
    const int slot = kiv::serial::slot_holding(path.c_str());
    if (slot < 0 || svWriteSerial(&bytes[0], static_cast<int>(bytes.size()), slot) != 0)
      return complain("serial ask: " + path + " could not be written");
    // --timeout bounds the whole exchange, so a peer that never falls
    // silent cannot hold the tool.
    const Clock::time_point deadline = Clock::now() + seconds(a.timeout_s);
    Clock::time_point until = deadline;
    WatchedEvent e;
    while (!StopSignals::requested() && reply.size() < kMaxReply) {
      const Clock::time_point now = Clock::now();
      if (now >= until)
        break;
      if (!queue.pop(e, std::min(until, now + std::chrono::milliseconds(100))))
        continue;
      reply += e.bytes;
      // What follows belongs to the reply while the line keeps talking.
      until = std::min(deadline, Clock::now() + seconds(a.gap_s));
    }
  }
  if (reply.empty() && StopSignals::requested())
    return complain("serial ask: stopped before a reply came on " + path);
  if (reply.empty())
    return complain("serial ask: no reply on " + path + " within " + seconds_text(a.timeout_s));
  if (reply.size() > kMaxReply)
    reply.resize(kMaxReply);
  if (a.hex)
    result_line(hex_of(reply));
  else
    result_bytes(reply);
  return deliver_results() == Delivery::kWriteFailed ? kFailed : kDone;
}

}  // namespace kivctl
