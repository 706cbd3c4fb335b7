// SPDX-License-Identifier: MIT
#include "isr_threads.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "exit_stop.h"
#include "remote.h"
#include "wiringPi.h"

namespace kivsim {
namespace gpio {
namespace detail {
namespace {

// What the board's interrupt thread does when its wait is interrupted by a
// signal: it gives up the pin's interrupt for good, without a word to the
// application. The stand-in says so on standard error. Board mutex held.
void give_up_interrupt(Board& b, int pin) {
  IsrLine& isr = b.lines[pin].isr;
  ++isr.generation;
  isr.handler = nullptr;
  isr.edge = kUnset;
  isr.queued = 0;
  // This very thread, which ends now: the first of the pin or a further one.
  if (isr.thread.get_id() == std::this_thread::get_id()) {
    isr.thread.detach();
  } else {
    for (auto it = isr.more_threads.begin(); it != isr.more_threads.end(); ++it) {
      if (it->get_id() == std::this_thread::get_id()) {
        it->detach();
        isr.more_threads.erase(it);
        break;
      }
    }
  }
  b.changed.notify_all();
  std::fprintf(stderr,
               "[wiringPi stand-in] pin %d: a signal interrupted the interrupt wait; "
               "the pin's interrupts have ended, as on the board\n",
               pin);
}

// Waits until `seq` no longer holds `seen`. False when a signal interrupted
// the wait. A futex with a timeout, like the board's poll on the line, is
// interrupted by any handled signal whatever its SA_RESTART flag, and needs no
// descriptor of its own.
bool wait_for_wake(unsigned* seq, unsigned seen) {
  const timespec hour{3600, 0};
  const long rc = syscall(SYS_futex, seq, FUTEX_WAIT_PRIVATE, seen, &hour, nullptr, 0);
  return !(rc < 0 && errno == EINTR);
}

void wake(IsrLine& isr) {
  __atomic_fetch_add(&isr.wake_seq, 1u, __ATOMIC_SEQ_CST);
  syscall(SYS_futex, &isr.wake_seq, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

void isr_loop(int pin, unsigned generation) {
  Board& b = board();
  IsrLine& isr = b.lines[pin].isr;
  std::unique_lock<std::mutex> lock(b.mutex);
  for (;;) {
    if (isr.generation != generation)
      return;
    if (isr.queued == 0) {
      const unsigned seen = __atomic_load_n(&isr.wake_seq, __ATOMIC_SEQ_CST);
      lock.unlock();
      const bool woken = wait_for_wake(&isr.wake_seq, seen);
      lock.lock();
      if (!woken && isr.generation == generation) {
        give_up_interrupt(b, pin);
        return;
      }
      continue;
    }
    --isr.queued;
    ++isr.running;
    ++isr.starts;
    void (*handler)() = isr.handler;
    report({kivsim::link::GpioReportKind::kHandlerStart, pin});
    lock.unlock();
    // Like the real library, the handler runs without arguments on the
    // line's own thread; edges arriving meanwhile wait in the queue.
    handler();
    lock.lock();
    ++isr.ends;
    report({kivsim::link::GpioReportKind::kHandlerEnd, pin});
    b.changed.notify_all();
    if (isr.generation != generation)
      return;
    --isr.running;
  }
}

}  // namespace

bool start_isr_thread(Board& b, int pin) {
  IsrLine& isr = b.lines[pin].isr;
  try {
    std::thread t(isr_loop, pin, isr.generation);
    if (isr.thread.joinable())
      isr.more_threads.push_back(std::move(t));
    else
      isr.thread = std::move(t);
  } catch (const std::system_error&) {
    return false;
  }
  stop_at_exit();
  return true;
}

void retire_isr(Board& b, int pin, std::unique_lock<std::mutex>& lock) {
  IsrLine& isr = b.lines[pin].isr;
  ++isr.generation;
  isr.handler = nullptr;
  isr.edge = kUnset;
  isr.queued = 0;
  isr.running = 0;
  std::vector<std::thread> threads = std::move(isr.more_threads);
  isr.more_threads.clear();
  threads.push_back(std::move(isr.thread));
  b.changed.notify_all();
  wake(isr);
  for (std::thread& t : threads) {
    if (!t.joinable())
      continue;
    if (t.get_id() == std::this_thread::get_id()) {
      // Stopped from its own handler: the thread ends once the handler
      // returns, without waiting again.
      t.detach();
      continue;
    }
    lock.unlock();
    t.join();
    lock.lock();
  }
}

bool queue_edge(Board& b, int pin, int new_level) {
  IsrLine& isr = b.lines[pin].isr;
  if (!isr.handler || !isr.thread.joinable())
    return false;
  bool wanted = isr.edge == INT_EDGE_BOTH || (isr.edge == INT_EDGE_RISING && new_level == 1) ||
                (isr.edge == INT_EDGE_FALLING && new_level == 0);
  if (!wanted)
    return false;
  // Every thread of the line takes the edge: queued once for each.
  const int threads = 1 + static_cast<int>(isr.more_threads.size());
  if (isr.queued >= kEdgeQueueDepth * threads) {
    ++isr.lost;
    return false;
  }
  isr.queued += threads;
  wake(isr);
  return true;
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
