// SPDX-License-Identifier: MIT
// The exchange between the launcher's loop thread and the view server's
// threads. The loop hands in every event and the device's state (as JSON
// text); the server's threads read them from any thread and hand back the
// commands the page asks for, which the loop takes when `command_fd` turns
// readable. One small lock guards it all; nothing waits while holding it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "run_observer.h"

namespace kivsim {

class ViewHub : public RunObserver {
 public:
  // The oldest events are dropped beyond this many (the page says so).
  static constexpr size_t kMaxEvents = 20000;
  // Commands beyond this many waiting are refused.
  static constexpr size_t kMaxCommands = 256;

  ViewHub();
  ~ViewHub() override;
  ViewHub(const ViewHub&) = delete;
  ViewHub& operator=(const ViewHub&) = delete;

  // False when the hub's descriptor could not be made.
  bool ready() const { return wake_fd_ >= 0; }

  // RunObserver, on the loop thread.
  void on_event(double seconds, const char* tag, const std::string& text) override;
  void on_state(const DeviceSnapshot& snapshot) override;
  int command_fd() const override { return wake_fd_; }
  bool take_command(Command& cmd) override;

  // What a reader has not seen yet: events after sequence number `after`
  // (each a JSON object with "seq", "t", "source", "text"), and the state
  // when it changed since `state_version`.
  struct Update {
    std::vector<std::string> events;
    uint64_t last_seq = 0;       // of the last event handed out (or `after`)
    uint64_t dropped = 0;        // events lost to the limit before those
    std::string state;           // empty when unchanged
    uint64_t state_version = 0;  // the version now
    bool closed = false;         // the hub is closing: no more updates
  };
  // Waits up to `wait_ms` for something new, from any thread.
  Update wait_update(uint64_t after, uint64_t state_version, int wait_ms);
  // The current state as JSON, from any thread.
  std::string state() const;

  // Queues a command from the page, from any thread; false when too many wait.
  bool post_command(const Command& cmd);

  // Wakes every waiting reader for good (before the server stops).
  void close();

  // Publishes a state given as JSON text directly (tests, and a run's end).
  void publish_state_json(const std::string& json);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> events_;  // guarded; events_[i] has seq first_seq_ + i
  uint64_t first_seq_ = 1;
  uint64_t next_seq_ = 1;
  std::string state_;  // guarded
  uint64_t state_version_ = 0;
  bool closed_ = false;
  std::deque<Command> commands_;  // guarded
  int wake_fd_ = -1;
};

}  // namespace kivsim
