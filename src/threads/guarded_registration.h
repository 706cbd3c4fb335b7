// SPDX-License-Identifier: MIT
// Internal: a callback registration that event threads call through and that
// a replacement can wait out, so that whoever registered it may free what its
// user pointer points at once the replacement returns.
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <mutex>

#include "threads/wait_graph.h"

namespace kiv {

// `Registration` is a small copyable record (a callback and what goes with
// it, such as its user pointer) with `bool empty() const` and `bool awaited()
// const`: whether a replacement must wait for a running call of it.
//
// A call takes the registration whole under the lock and runs it outside, so
// a callback never runs with another registration's user pointer, and the
// callback may register, replace or unregister itself. Each running call
// leaves a frame on its thread's stack, linked here, so nothing is allocated
// per call.
template <typename Registration>
class GuardedRegistration {
 public:
  // Which calls a wait is for: those begun before the ticket was drawn.
  using Ticket = unsigned long long;

  // The registration now.
  Registration current() {
    std::lock_guard<std::mutex> lock(mutex_);
    return registration_;
  }

  // Installs `next` without waiting; pass the ticket to wait_out.
  Ticket install(const Registration& next) {
    std::lock_guard<std::mutex> lock(mutex_);
    registration_ = next;
    return ++epoch_;
  }

  // A ticket for every call begun so far, with no change of registration: for
  // an unregistration that found nothing left to remove but may still have to
  // wait for a call of what was there.
  Ticket ticket_now() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++epoch_;
  }

  // Waits until every awaited call begun before `ticket` has returned: one
  // running on another thread may still be using the user pointer the caller
  // is about to free. Not for a call the wait graph refuses: the caller's own
  // (a call that replaces its own registration must not wait for itself), or
  // one whose thread is waiting, through the library, for the caller.
  void wait_out(Ticket ticket) {
    std::unique_lock<std::mutex> lock(mutex_);
    Wait wait(WaitKind::kRunningCall, this);
    for (const Frame* f = frames_; f != nullptr; f = f->next)
      if (f->awaited && f->epoch < ticket)
        (void)wait_admits(wait, f->thread);
    if (!wait.pending())
      return;
    ++waiters_;
    returned_.wait(lock, [&] { return !wait.pending(); });
    --waiters_;
  }

  // install then wait_out.
  void replace(const Registration& next) { wait_out(install(next)); }

  // Calls `run(registration)` with the registration now, unless it is empty.
  template <typename Run>
  void call(Run&& run) {
    Frame frame{pthread_self(), 0, false, nullptr};
    Registration taken;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (registration_.empty())
        return;
      taken = registration_;
      frame.epoch = epoch_;
      frame.awaited = taken.awaited();
      frame.next = frames_;
      frames_ = &frame;
    }
    run(taken);
    std::lock_guard<std::mutex> lock(mutex_);
    for (Frame** link = &frames_; *link != nullptr; link = &(*link)->next) {
      if (*link == &frame) {
        *link = frame.next;
        break;
      }
    }
    if (frame.awaited && waiters_ > 0) {
      wait_target_done(this, frame.thread);
      returned_.notify_all();
    }
  }

 private:
  struct Frame {
    pthread_t thread;
    Ticket epoch;  // the epoch the call began in
    bool awaited;
    Frame* next;
  };

  std::mutex mutex_;
  std::condition_variable returned_;
  Registration registration_{};
  Ticket epoch_ = 0;
  Frame* frames_ = nullptr;  // calls running now
  int waiters_ = 0;          // threads in wait_out
};

}  // namespace kiv
