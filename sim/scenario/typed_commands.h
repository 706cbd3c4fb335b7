// SPDX-License-Identifier: MIT
// Commands typed on the launcher's standard input, one a line, queued with
// their waits. A faulty line is shown and skipped; the end of the input ends
// only the typing, not the program.
#pragma once

#include <string>

#include "command_queue.h"
#include "event_log.h"

namespace kivsim {

class TypedCommands {
 public:
  static constexpr size_t kMaxLine = 4096;
  explicit TypedCommands(int fd) : fd_(fd) {}
  // The descriptor to wait on, -1 once the input has ended.
  int fd() const { return fd_; }
  // Reads what was typed and queues each complete line's command.
  void on_readable(double now_ms, EventLog& log);
  CommandQueue& queue() { return queue_; }

 private:
  void take_line(double now_ms, EventLog& log);
  int fd_;
  std::string pending_;
  CommandQueue queue_;
};

}  // namespace kivsim
