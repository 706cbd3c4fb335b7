// SPDX-License-Identifier: MIT
// What the device reports while it is watched, handed from the library's
// threads (interrupt and serial readers) to the thread that prints it.
#pragma once

#include <time.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

namespace kivctl {

struct WatchedEvent {
  timespec monotonic{};  // when the library's callback ran
  timespec realtime{};
  std::string source;  // "input", "trigger", "tune", "com1", "com2", "light"
  int level = -1;      // an input's level
  std::string bytes;   // a chunk received on a port
};

// Stamps `e` with both clocks, now.
void stamp(WatchedEvent& e);

// Events wait here while the printing thread's output is not read: bounded,
// so that a consumer that stops reading costs a bounded memory; what finds it
// full is counted, not kept.
class EventQueue {
 public:
  static constexpr size_t kMaxEvents = 4096;
  static constexpr size_t kMaxBytes = 256 * 1024;

  // Any thread; never blocks for longer than another push or pop takes.
  void push(WatchedEvent e);
  // The oldest event, waiting for one until `until`; false when none came.
  bool pop(WatchedEvent& e, std::chrono::steady_clock::time_point until);
  // Events that found the queue full, and their serial bytes.
  unsigned long dropped() const;
  unsigned long dropped_bytes() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<WatchedEvent> events_;
  size_t bytes_ = 0;
  unsigned long dropped_ = 0;
  unsigned long dropped_bytes_ = 0;
};

}  // namespace kivctl
