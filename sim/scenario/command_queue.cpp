// SPDX-License-Identifier: MIT
#include "command_queue.h"

#include <cmath>

namespace kivsim {

void CommandQueue::push(const Command& cmd, double now_ms) {
  if (queue_.empty() && due_ms_ < now_ms)
    due_ms_ = now_ms;
  queue_.push_back(cmd);
}

void CommandQueue::settle_waits() {
  while (!queue_.empty() && queue_.front().kind == CommandKind::kWait) {
    due_ms_ += static_cast<double>(queue_.front().ms);
    queue_.pop_front();
  }
}

bool CommandQueue::take_due(double now_ms, Command& out) {
  settle_waits();
  if (queue_.empty() || now_ms < due_ms_)
    return false;
  out = queue_.front();
  queue_.pop_front();
  return true;
}

long CommandQueue::due_in(double now_ms) {
  settle_waits();
  if (queue_.empty())
    return -1;
  if (now_ms >= due_ms_)
    return 0;
  return static_cast<long>(std::ceil(due_ms_ - now_ms));
}

}  // namespace kivsim
