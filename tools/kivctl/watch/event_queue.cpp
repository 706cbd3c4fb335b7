// SPDX-License-Identifier: MIT
#include "watch/event_queue.h"

namespace kivctl {

void stamp(WatchedEvent& e) {
  clock_gettime(CLOCK_MONOTONIC, &e.monotonic);
  clock_gettime(CLOCK_REALTIME, &e.realtime);
}

void EventQueue::push(WatchedEvent e) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (events_.size() >= kMaxEvents || bytes_ + e.bytes.size() > kMaxBytes) {
      ++dropped_;
      dropped_bytes_ += e.bytes.size();
      return;
    }
    bytes_ += e.bytes.size();
    events_.push_back(std::move(e));
  }
  arrived_.notify_one();
}

unsigned long EventQueue::dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

unsigned long EventQueue::dropped_bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_bytes_;
}

bool EventQueue::pop(WatchedEvent& e, std::chrono::steady_clock::time_point until) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!arrived_.wait_until(lock, until, [this] { return !events_.empty(); }))
    return false;
  e = std::move(events_.front());
  events_.pop_front();
  bytes_ -= e.bytes.size();
  return true;
}

}  // namespace kivctl
