// SPDX-License-Identifier: MIT
#include "page_commands.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace kivsim {

PageCommands::PageCommands() : wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PageCommands::~PageCommands() {
  if (wake_fd_ >= 0)
    ::close(wake_fd_);
}

bool PageCommands::post(const Command& cmd) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || waiting_.size() >= kMaxWaiting)
      return false;
    waiting_.push_back(cmd);
  }
  uint64_t one = 1;
  // The counter cannot overflow: the loop drains it long before.
  return write(wake_fd_, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

void PageCommands::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
}

bool PageCommands::take_command(Command& cmd) {
  uint64_t count = 0;
  while (read(wake_fd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (waiting_.empty())
    return false;
  cmd = waiting_.front();
  waiting_.pop_front();
  return true;
}

}  // namespace kivsim
