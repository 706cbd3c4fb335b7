// SPDX-License-Identifier: MIT
// Commands waiting for their time. A `wait` delays the commands behind it,
// counted from when the command before it was due, so a script keeps its
// schedule however busy the launcher is.
#pragma once

#include <deque>

#include "commands.h"

namespace kivsim {

class CommandQueue {
 public:
  // Appends `cmd`; when the queue had run dry, its clock restarts at `now_ms`.
  void push(const Command& cmd, double now_ms);
  // Takes the next command if it is due at `now_ms`.
  bool take_due(double now_ms, Command& out);
  // Milliseconds until the next command is due (0 if due now), -1 when empty.
  long due_in(double now_ms);
  bool empty() const { return queue_.empty(); }

 private:
  // Turns the waits at the front into the time the next command is due.
  void settle_waits();
  std::deque<Command> queue_;
  double due_ms_ = 0;
};

}  // namespace kivsim
