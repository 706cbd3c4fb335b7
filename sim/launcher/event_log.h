// SPDX-License-Identifier: MIT
// The launcher's display: one line per event, with the time since the program
// started, a short source tag and the text:
//   "  0.013 gpio  DO1 (22) -> 1"
#pragma once

#include <ctime>
#include <string>

namespace kivsim {

class RunObserver;

class EventLog {
 public:
  EventLog();
  // Sets the time origin to now.
  void restart();
  // Prints one event line and flushes it, so the order holds in a pipe too.
  void line(const char* tag, const std::string& text);
  // Seconds since the origin.
  double elapsed() const;
  // Also hands every line to `observer` (nullptr: the terminal only).
  void set_observer(RunObserver* observer) { observer_ = observer; }

 private:
  timespec origin_{};
  RunObserver* observer_ = nullptr;
};

}  // namespace kivsim
