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

class EventQueue {
 public:
  // Any thread; never blocks for longer than another push or pop takes.
  void push(WatchedEvent e);
  // The oldest event, waiting for one until `until`; false when none came.
  bool pop(WatchedEvent& e, std::chrono::steady_clock::time_point until);

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<WatchedEvent> events_;
};

}  // namespace kivctl
