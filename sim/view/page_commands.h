// SPDX-License-Identifier: MIT
// The commands the view's page asks for, on their way from the server's
// threads to the launcher's loop thread, which takes them when `command_fd`
// turns readable. A small lock guards the queue; nothing waits while holding it.
#pragma once

#include <deque>
#include <mutex>

#include "command_source.h"

namespace kivsim {

class PageCommands : public CommandSource {
 public:
  // Commands beyond this many waiting are refused.
  static constexpr size_t kMaxWaiting = 256;

  PageCommands();
  ~PageCommands() override;
  PageCommands(const PageCommands&) = delete;
  PageCommands& operator=(const PageCommands&) = delete;

  // False when the descriptor could not be made.
  bool ready() const { return wake_fd_ >= 0; }

  // Queues a command, from any thread; false when too many wait or after close.
  bool post(const Command& cmd);
  // Refuses every later command (the run is ending), from any thread.
  void close();

  // CommandSource, on the launcher's loop thread.
  int command_fd() const override { return wake_fd_; }
  bool take_command(Command& cmd) override;

 private:
  std::mutex mutex_;
  std::deque<Command> waiting_;  // guarded
  bool closed_ = false;          // guarded
  int wake_fd_ = -1;
};

}  // namespace kivsim
