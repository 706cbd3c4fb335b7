// SPDX-License-Identifier: MIT
// Internal: the one place that decides whether a thread of the application
// may wait for another in the library, so that the library's own waits never
// form a circle.
//
// Before a thread waits for another, it asks here with a Wait record on its
// stack: the record holds whom it waits for, and is linked into the graph of
// waits for as long as the wait lasts. A thread is refused if it is itself
// waited for, directly or through others, by the thread it would wait for:
// that wait would never end. Each waiter decides what it does instead, by the
// kind of its wait (the headers say the same to the application):
//
//   kReaderEnd      a close joins a slot's reader, an open joins the reader
//                   of the slot it takes after a callback closed that port.
//                   Refused, a close leaves the reader to end once its
//                   callback returns (the slot's next open or close joins
//                   it); an open fails.
//   kCloseUnderWay  an open, a registration or a second close of the slot
//                   waits for a close in progress. Refused, an open fails, a
//                   registration fails as on a closed slot, and a close
//                   returns (the close under way finishes its work).
//   kRunningCall    an unregistration, replacement or close waits for a
//                   running call of a callback registered with a user
//                   pointer. Refused, it takes effect without waiting for
//                   that call.
//
// A wait is refused only if the thread it would wait for is, at that moment,
// waiting for the caller; a thread that no one waits for (an application
// thread outside every callback) is never refused. Whoever ends what a wait
// is for says so here (`wait_target_done`) under the same lock that guards
// its own state, so a record never names a thread that is no longer awaited
// and no wait is refused for a circle that has already come undone.
//
// Other waits of the library are not recorded, since each ends by itself
// within a bound and waits for no callback: writers leaving a closing port
// (a close makes them fail at once), a read filling a buffer being replaced
// (the port is non-blocking), output leaving the line (bounded by its time on
// the wire) and a writer's turn (bounded by the stall bound).
//
// The graph's lock is the innermost of the library: it is taken with the
// lock of the waited-for state held (the port table's, a registration's),
// and nothing else is taken under it.
#pragma once

#include <pthread.h>

namespace kiv {

enum class WaitKind { kReaderEnd, kCloseUnderWay, kRunningCall };

// One thread's wait; lives on the waiter's stack while it waits. Its list of
// awaited threads changes only under the graph's lock and the lock of the
// state named by `target`, so the waiter reads it under either.
class Wait {
 public:
  Wait(WaitKind kind, const void* target);
  ~Wait();
  Wait(const Wait&) = delete;
  Wait& operator=(const Wait&) = delete;

  WaitKind kind() const { return kind_; }
  // Some admitted thread has not yet done what the wait is for.
  bool pending() const { return count_ > 0; }

 private:
  friend class WaitGraph;
  // More threads than a wait could name: a registration's calls run on its
  // event thread, and a slot has one reader.
  static constexpr int kMaxAwaited = 8;

  pthread_t waiter_;
  WaitKind kind_;
  const void* target_;
  pthread_t awaited_[kMaxAwaited];
  int count_ = 0;
  bool linked_ = false;
  Wait* next_ = nullptr;
};

// Lets the calling thread wait for `thread` in `wait`, unless that would close
// a circle (the thread is the caller, or waits for it through others). True
// when admitted: the caller then waits until `wait.pending()` is false or its
// own condition holds, and `wait` leaves the graph when it is destroyed.
bool wait_admits(Wait& wait, pthread_t thread);

// `thread` has done what waits on `target` are for (a reader ended, a close
// finished, a call returned): no wait on `target` names it any more.
void wait_target_done(const void* target, pthread_t thread);

}  // namespace kiv
