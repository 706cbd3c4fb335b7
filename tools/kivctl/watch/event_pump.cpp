// SPDX-License-Identifier: MIT
#include "watch/event_pump.h"

#include <chrono>

#include "argument_checks.h"
#include "results.h"
#include "watch/event_sources.h"
#include "watch/stop_signals.h"

namespace kivctl {
namespace {

using Clock = std::chrono::steady_clock;

// The longest wait for an event before a stop signal is looked at again.
constexpr std::chrono::milliseconds kSignalSlice{100};

// When the library's callback stamped `e`, on the clock of the deadline
// (steady_clock is CLOCK_MONOTONIC on Linux).
Clock::time_point stamped_at(const WatchedEvent& e) {
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
      std::chrono::seconds(e.monotonic.tv_sec) + std::chrono::nanoseconds(e.monotonic.tv_nsec)));
}

std::string joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words)
    out += (out.empty() ? "" : ", ") + w;
  return out;
}

}  // namespace

int watch_sources(Session& session, const std::vector<std::string>& sources,
                  const PrintStyle& style, const WatchLimits& limits, const std::string& command,
                  const LineSettings* line) {
  StopSignals signals;
  EventQueue queue;
  long seen = 0;
  bool timed_out = false;
  {
    EventSources taps(session, queue, line);
    std::string error;
    if (!taps.start(sources, error)) {
      complain(command + ": " + error);
      return error.rfind("cannot", 0) == 0 ? kFailed : kUsage;
    }
    notice("watching " + joined(sources) + " (Ctrl-C ends)");
    const Clock::time_point end =
        limits.timeout_s > 0 ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(limits.timeout_s))
                             : Clock::time_point::max();
    while (!StopSignals::requested() && (limits.count <= 0 || seen < limits.count)) {
      Clock::time_point now = Clock::now();
      if (now >= end) {
        timed_out = true;
        break;
      }
      WatchedEvent e;
      if (queue.pop(e, std::min(end, now + kSignalSlice))) {
        const Delivery d = print_event(e, style);
        // Nobody reads any more: a normal end, the device closed in order.
        if (d == Delivery::kReaderGone)
          return kDone;
        if (d == Delivery::kWriteFailed)
          return kFailed;
        ++seen;
      }
    }
    // What came before the time was up is shown too: the queue holds what a
    // slow reader had not taken yet (what comes after it stays unshown).
    WatchedEvent e;
    while (timed_out && (limits.count <= 0 || seen < limits.count) && queue.pop(e, Clock::now()) &&
           stamped_at(e) <= end) {
      const Delivery d = print_event(e, style);
      if (d != Delivery::kTaken)
        return d == Delivery::kReaderGone ? kDone : kFailed;
      ++seen;
    }
  }
  std::fflush(results());
  if (queue.dropped() > 0)
    return complain(command + ": " + std::to_string(queue.dropped()) + " events (" +
                    std::to_string(queue.dropped_bytes()) +
                    " serial bytes) dropped: the output was not read as fast as they came");
  if (timed_out && limits.count > 0 && seen < limits.count)
    return complain(command + ": " + std::to_string(seen) + " of " + std::to_string(limits.count) +
                    " events came within " + seconds_text(limits.timeout_s));
  return kDone;
}

}  // namespace kivctl
