// SPDX-License-Identifier: MIT
// kivctl serial term: the keyboard on a serial port, as tio and picocom give it.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "byte_words.h"
#include "kiv_serial.h"
#include "port/port_sessions.h"
#include "results.h"
#include "serial/port_table.h"
#include "watch/event_sources.h"
#include "watch/stop_signals.h"

namespace kivctl {
namespace {

constexpr char kLeave = 0x1d;  // Ctrl-]
// How long the loop waits for a key before it shows what the port received.
constexpr int kLookMs = 10;

// The keyboard sends each byte as it is typed, Ctrl-C and Ctrl-] included,
// and echoes nothing; the output keeps its own settings. The terminal's
// settings come back on every way out.
class RawKeyboard {
 public:
  RawKeyboard() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0)
      return;
    termios raw = saved_;
    cfmakeraw(&raw);
    raw.c_oflag = saved_.c_oflag;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    raw_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) == 0;
  }
  ~RawKeyboard() {
    if (raw_)
      tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  RawKeyboard(const RawKeyboard&) = delete;
  RawKeyboard& operator=(const RawKeyboard&) = delete;

 private:
  termios saved_{};
  bool raw_ = false;
};

// Shows what came, as it came.
Delivery show_received(EventQueue& queue, bool hex) {
  WatchedEvent e;
  while (queue.pop(e, std::chrono::steady_clock::now())) {
    if (hex)
      result_line(hex_of(e.bytes));
    else
      result_bytes(e.bytes);
  }
  return deliver_results();
}

bool send_keys(int slot, char* keys, ssize_t n) {
  return n <= 0 || svWriteSerial(keys, static_cast<int>(n), slot) == 0;
}

}  // namespace

int run_terminal(Session& session, const TerminalArgs& a) {
  const std::string path = "/dev/" + a.port;
  StopSignals signals;
  EventQueue queue;
  EventSources taps(session, queue, a.line);
  std::string error;
  if (!taps.start({a.port}, error))
    return complain("serial term: " + error);
  const int slot = kiv::serial::slot_holding(path.c_str());
  notice("serial term: " + path + " at " + (a.line ? a.line->text() : LineSettings{}.text()) +
         "; Ctrl-] leaves");
  RawKeyboard keyboard;
  int status = kDone;
  bool input_open = true;
  while (input_open && !StopSignals::requested()) {
    pollfd key{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&key, 1, kLookMs);
    if (ready < 0 && errno != EINTR)
      break;
    if (ready > 0) {
      char keys[256];
      const ssize_t n = read(STDIN_FILENO, keys, sizeof keys);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0) {
        input_open = false;  // the end of a piped input
      } else {
        ssize_t upto = 0;
        while (upto < n && keys[upto] != kLeave)
          ++upto;
        if (!send_keys(slot, keys, upto)) {
          status = complain("serial term: " + path + " could not be written");
          break;
        }
        if (upto < n)
          break;
      }
    }
    const Delivery shown = show_received(queue, a.hex);
    if (shown != Delivery::kTaken) {
      status = shown == Delivery::kWriteFailed ? kFailed : status;
      break;
    }
  }
  if (status == kDone && show_received(queue, a.hex) == Delivery::kWriteFailed)
    status = kFailed;
  if (status == kDone)
    notice("serial term: left " + path);
  return status;
}

}  // namespace kivctl
