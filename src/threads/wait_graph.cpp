// SPDX-License-Identifier: MIT
// The graph of the library's waits: who waits for whom right now.
#include "threads/wait_graph.h"

#include <mutex>

namespace kiv {

class WaitGraph {
 public:
  static WaitGraph& get() {
    // Never destroyed: threads may still wait while the process exits.
    static WaitGraph* const graph = new WaitGraph();
    return *graph;
  }

  bool admit(Wait& wait, pthread_t thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reaches(thread, wait.waiter_, 0))
      return false;
    for (int i = 0; i < wait.count_; ++i)
      if (pthread_equal(wait.awaited_[i], thread) != 0)
        return true;
    // Beyond the record's room the wait is still made, unrecorded; no wait
    // of the library names that many threads.
    if (wait.count_ < Wait::kMaxAwaited)
      wait.awaited_[wait.count_++] = thread;
    if (!wait.linked_) {
      wait.next_ = waits_;
      waits_ = &wait;
      wait.linked_ = true;
    }
    return true;
  }

  void done(const void* target, pthread_t thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Wait* w = waits_; w != nullptr; w = w->next_)
      if (w->target_ == target)
        drop(*w, thread);
  }

  void leave(Wait& wait) {
    // Only the waiter links and unlinks its record.
    if (!wait.linked_)
      return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (Wait** link = &waits_; *link != nullptr; link = &(*link)->next_) {
      if (*link == &wait) {
        *link = wait.next_;
        break;
      }
    }
    wait.linked_ = false;
  }

 private:
  // The graph never holds a circle, so the search ends; the depth bound only
  // keeps a pathological chain from costing more than a refusal.
  static constexpr int kDeepest = 64;

  // True when `from` is `to`, or waits for it directly or through others.
  bool reaches(pthread_t from, pthread_t to, int depth) const {
    if (pthread_equal(from, to) != 0)
      return true;
    if (depth >= kDeepest)
      return true;
    for (const Wait* w = waits_; w != nullptr; w = w->next_) {
      if (pthread_equal(w->waiter_, from) == 0)
        continue;
      for (int i = 0; i < w->count_; ++i)
        if (reaches(w->awaited_[i], to, depth + 1))
          return true;
    }
    return false;
  }

  static void drop(Wait& wait, pthread_t thread) {
    for (int i = 0; i < wait.count_; ++i) {
      if (pthread_equal(wait.awaited_[i], thread) != 0) {
        wait.awaited_[i] = wait.awaited_[--wait.count_];
        return;
      }
    }
  }

  std::mutex mutex_;
  Wait* waits_ = nullptr;  // every wait in progress
};

Wait::Wait(WaitKind kind, const void* target)
    : waiter_(pthread_self()), kind_(kind), target_(target), awaited_{} {}

Wait::~Wait() {
  WaitGraph::get().leave(*this);
}

bool wait_admits(Wait& wait, pthread_t thread) {
  return WaitGraph::get().admit(wait, thread);
}

void wait_target_done(const void* target, pthread_t thread) {
  WaitGraph::get().done(target, thread);
}

}  // namespace kiv
