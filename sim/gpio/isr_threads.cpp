// SPDX-License-Identifier: MIT
#include "isr_threads.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
  close(isr.wake_fd);
  isr.wake_fd = -1;
  isr.thread.detach();  // this very thread, which ends now
  b.changed.notify_all();
  std::fprintf(stderr,
               "[wiringPi stand-in] pin %d: a signal interrupted the interrupt wait; "
               "the pin's interrupts have ended, as on the board\n",
               pin);
}

// Waits for the line's wake descriptor. False when a signal interrupted the
// wait.
bool wait_for_wake(int wake_fd) {
  pollfd p{wake_fd, POLLIN, 0};
  const int ready = poll(&p, 1, -1);
  if (ready < 0)
    return errno != EINTR;
  eventfd_t drained;
  (void)eventfd_read(wake_fd, &drained);
  return true;
}

void isr_loop(int pin, unsigned generation, int wake_fd) {
  Board& b = board();
  IsrLine& isr = b.lines[pin].isr;
  std::unique_lock<std::mutex> lock(b.mutex);
  for (;;) {
    if (isr.generation != generation)
      return;
    if (isr.queued == 0) {
      lock.unlock();
      const bool woken = wait_for_wake(wake_fd);
      lock.lock();
      if (!woken && isr.generation == generation) {
        give_up_interrupt(b, pin);
        return;
      }
      continue;
    }
    --isr.queued;
    isr.running = true;
    ++isr.starts;
    void (*handler)() = isr.handler;
    report("handler-start %d\n", pin);
    lock.unlock();
    // Like the real library, the handler runs without arguments on the
    // line's own thread; edges arriving meanwhile wait in the queue.
    handler();
    lock.lock();
    ++isr.ends;
    report("handler-end %d\n", pin);
    b.changed.notify_all();
    if (isr.generation != generation)
      return;
    isr.running = false;
  }
}

void wake(const IsrLine& isr) {
  if (isr.wake_fd >= 0)
    (void)eventfd_write(isr.wake_fd, 1);
}

}  // namespace

bool start_isr_thread(Board& b, int pin) {
  IsrLine& isr = b.lines[pin].isr;
  const int wake_fd = eventfd(0, EFD_CLOEXEC);
  if (wake_fd < 0)
    return false;
  try {
    isr.thread = std::thread(isr_loop, pin, isr.generation, wake_fd);
  } catch (const std::system_error&) {
    close(wake_fd);
    return false;
  }
  isr.wake_fd = wake_fd;
  stop_at_exit();
  return true;
}

void retire_isr(Board& b, int pin, std::unique_lock<std::mutex>& lock) {
  IsrLine& isr = b.lines[pin].isr;
  ++isr.generation;
  isr.handler = nullptr;
  isr.edge = kUnset;
  isr.queued = 0;
  isr.running = false;
  std::thread t = std::move(isr.thread);
  const int wake_fd = isr.wake_fd;
  isr.wake_fd = -1;
  b.changed.notify_all();
  if (!t.joinable())
    return;
  if (t.get_id() == std::this_thread::get_id()) {
    // Stopped from its own handler: the thread ends once the handler returns,
    // without waiting again.
    t.detach();
    close(wake_fd);
    return;
  }
  (void)eventfd_write(wake_fd, 1);
  lock.unlock();
  t.join();
  close(wake_fd);
  lock.lock();
}

bool queue_edge(Board& b, int pin, int new_level) {
  IsrLine& isr = b.lines[pin].isr;
  if (!isr.handler || !isr.thread.joinable())
    return false;
  bool wanted = isr.edge == INT_EDGE_BOTH || (isr.edge == INT_EDGE_RISING && new_level == 1) ||
                (isr.edge == INT_EDGE_FALLING && new_level == 0);
  if (!wanted)
    return false;
  if (isr.queued >= kEdgeQueueDepth) {
    ++isr.lost;
    return false;
  }
  ++isr.queued;
  wake(isr);
  return true;
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
