// SPDX-License-Identifier: MIT
// The graph of waits refuses exactly the waits that would close a circle:
// through any number of threads, and never for a wait already done.
#include "threads/wait_graph.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A thread that runs steps it is handed, one at a time, and reports back.
class Worker {
 public:
  Worker() : thread_([this] { loop(); }) {}
  ~Worker() {
    run([this] { quit_ = true; });
    thread_.join();
  }
  pthread_t handle() { return thread_.native_handle(); }

  // Runs `step` on the worker and waits until it has run.
  void run(std::function<void()> step) {
    std::unique_lock<std::mutex> lock(mutex_);
    step_ = std::move(step);
    changed_.notify_all();
    changed_.wait(lock, [&] { return !step_; });
  }

 private:
  void loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
      changed_.wait(lock, [&] { return static_cast<bool>(step_); });
      step_();
      step_ = nullptr;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> step_;
  bool quit_ = false;
  std::thread thread_;
};

int g_target_a, g_target_b;

TEST(WaitGraph, RefusesOnlyAWaitThatClosesACircle) {
  // Records a chain of waits w[0] -> w[1] -> ... on workers, then asks
  // whether the last may wait for the first.
  for (int length : {1, 2, 3, 5}) {
    SCOPED_TRACE(length);
    std::vector<std::unique_ptr<Worker>> workers;
    for (int i = 0; i <= length; ++i)
      workers.push_back(std::make_unique<Worker>());
    std::vector<std::unique_ptr<kiv::Wait>> waits(workers.size());
    for (int i = 0; i < length; ++i) {
      const pthread_t next = workers[i + 1]->handle();
      workers[i]->run([&, i, next] {
        waits[i] = std::make_unique<kiv::Wait>(kiv::WaitKind::kRunningCall, &g_target_a);
        EXPECT_TRUE(kiv::wait_admits(*waits[i], next));
      });
    }
    // The end of the chain waits for its start: refused. A thread outside
    // the chain may wait for any of it.
    const pthread_t first = workers[0]->handle();
    workers[length]->run([&] {
      kiv::Wait wait(kiv::WaitKind::kCloseUnderWay, &g_target_b);
      EXPECT_FALSE(kiv::wait_admits(wait, first));
      EXPECT_FALSE(kiv::wait_admits(wait, pthread_self())) << "a wait for oneself";
      EXPECT_FALSE(wait.pending());
    });
    Worker outsider;
    outsider.run([&] {
      kiv::Wait wait(kiv::WaitKind::kReaderEnd, &g_target_b);
      for (auto& w : workers)
        EXPECT_TRUE(kiv::wait_admits(wait, w->handle()));
    });
    // Once the last link's thread has done what it was waited for, the
    // circle is undone at once, before its waiter even wakes.
    kiv::wait_target_done(&g_target_a, workers[length]->handle());
    EXPECT_FALSE(waits[length - 1]->pending());
    workers[length]->run([&] {
      kiv::Wait wait(kiv::WaitKind::kCloseUnderWay, &g_target_b);
      EXPECT_TRUE(kiv::wait_admits(wait, first));
    });
    for (int i = 0; i < length; ++i)
      workers[i]->run([&, i] { waits[i].reset(); });
  }
}

TEST(WaitGraph, DoneForAnotherTargetOrThreadLeavesTheWait) {
  Worker a, b, c;
  std::unique_ptr<kiv::Wait> wait;
  const pthread_t bh = b.handle(), ch = c.handle();
  a.run([&] {
    wait = std::make_unique<kiv::Wait>(kiv::WaitKind::kRunningCall, &g_target_a);
    EXPECT_TRUE(kiv::wait_admits(*wait, bh));
    EXPECT_TRUE(kiv::wait_admits(*wait, ch));
    EXPECT_TRUE(kiv::wait_admits(*wait, bh)) << "named twice";
  });
  kiv::wait_target_done(&g_target_b, bh);
  EXPECT_TRUE(wait->pending());
  kiv::wait_target_done(&g_target_a, bh);
  EXPECT_TRUE(wait->pending()) << "c is still awaited";
  // b waits for a, which no longer waits for b: admitted.
  const pthread_t ah = a.handle();
  b.run([&] {
    kiv::Wait w(kiv::WaitKind::kReaderEnd, &g_target_b);
    EXPECT_TRUE(kiv::wait_admits(w, ah));
  });
  // c may not: a still waits for it.
  c.run([&] {
    kiv::Wait w(kiv::WaitKind::kReaderEnd, &g_target_b);
    EXPECT_FALSE(kiv::wait_admits(w, ah));
  });
  kiv::wait_target_done(&g_target_a, ch);
  EXPECT_FALSE(wait->pending());
  a.run([&] { wait.reset(); });
}

}  // namespace
