// SPDX-License-Identifier: MIT
// The one ordered record of a run on the simulated board. Every part of the
// launcher posts what it sees here (GPIO reports, frames on com2, bytes on
// com1, I2C transfers, strip renders, the program's output, the launcher's own
// notes); the stream puts them in time order and hands each, once, to its
// readers: the terminal log, the trace file, the scenario checker, the view.
//
// Time: every event carries the CLOCK_MONOTONIC time it happened, counted from
// the run's origin. The stand-ins in the program take it where the call
// happens and send it with the report; what carries no time of its own (the
// program's output, bytes on the serial lines) is stamped when the launcher
// reads it (`timing` kArrival: it happened at or before that time). Events are
// held for `hold` before they are published, so that a report that took a
// little longer on its way still finds its place; one that comes later than
// that is published at once, marked `late`, after events with later times.
//
// Publishing an event folds it into the device's state (device_state.h):
// the event goes out with what it changed, and `state()` gives the state
// the events so far add up to.
//
// Annotators, on the launcher's thread: `annotate(callback)` before the run
// starts; the callback runs in `post`, as the event is taken, and adds what
// its poster does not know but the launcher holds at that moment (a serial
// line's settings, the messages an I2C transfer put on the bus).
//
// Readers:
//  - on the launcher's thread: `subscribe(callback)` before the run starts;
//    the callback runs on the publishing thread (the launcher's poll loop)
//    for every event in order, with no lock held. It must not post.
//  - on any other thread (the view's server): keep the `seq` of the last
//    event taken (0 at first) and call `wait_events(after, out, timeout)`,
//    which returns the events published since, oldest first, waiting up to
//    `timeout_ms` while there are none. The stream keeps the last kKeep
//    events; a reader that fell further behind sees a gap in `seq`. It
//    returns false once the stream is closed and nothing is left to take.
//    `origin_mono_ns()`, `closed()` and `state()` may be called from any
//    thread too.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "device_state.h"
#include "event.h"

namespace kivsim {

class EventStream {
 public:
  using Reader = std::function<void(const Event&)>;
  using Annotator = std::function<void(Event&)>;
  static constexpr int64_t kDefaultHoldNs = 50 * 1000 * 1000;
  static constexpr size_t kKeep = 100000;

  explicit EventStream(int64_t hold_ns = kDefaultHoldNs);
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  // CLOCK_MONOTONIC now, in nanoseconds.
  static int64_t now_mono_ns();

  // Producer side, on the launcher's thread only.
  // Sets the origin every time is counted from (default: construction).
  void set_origin(int64_t mono_ns);
  int64_t origin_mono_ns() const;
  // Nanoseconds since the origin of a CLOCK_MONOTONIC time.
  int64_t since_origin(int64_t mono_ns) const { return mono_ns - origin_mono_ns(); }
  // Takes an event whose time_ns is set (since the origin); it is published
  // once it is older than the hold, or at once when it comes too late.
  void post(Event event);
  // Publishes every event held longer than the hold at `now_mono`.
  void release(int64_t now_mono);
  // Publishes everything held (the run has ended, or a command must show now).
  void flush();
  // Milliseconds until the next held event is due, -1 when none is held.
  long release_in_ms(int64_t now_mono) const;
  // Publishes everything held and ends the stream: waiting readers wake.
  void close();

  // Readers on the launcher's thread; call before the run starts.
  void subscribe(Reader reader);
  // Annotators, likewise; see the header comment.
  void annotate(Annotator annotator);

  // Readers on any thread; see the header comment.
  bool wait_events(uint64_t after, std::vector<Event>& out, int timeout_ms);
  bool closed() const;
  // The device's state after the events published so far, and the `seq` of
  // the last of them (0 before the first).
  DeviceState state(uint64_t* seq = nullptr) const;

 private:
  void publish(Event& event);
  const int64_t hold_ns_;
  std::atomic<int64_t> origin_{0};
  std::deque<Event> held_;  // by time, posting order among equal times
  int64_t last_published_ns_ = INT64_MIN;
  uint64_t next_seq_ = 1;
  std::vector<Reader> readers_;
  std::vector<Annotator> annotators_;

  // What other threads read: guarded by mutex_.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Event> kept_;
  bool closed_ = false;
  DeviceState state_;
  uint64_t folded_seq_ = 0;
};

}  // namespace kivsim
