// SPDX-License-Identifier: MIT
#include "isr_threads.h"

#include <cstdlib>
#include <system_error>

#include "exit_stop.h"
#include "remote.h"
#include "wiringPi.h"

namespace kivsim {
namespace gpio {
namespace detail {
namespace {

void isr_loop(int pin, unsigned generation) {
  Board& b = board();
  IsrLine& isr = b.lines[pin].isr;
  std::unique_lock<std::mutex> lock(b.mutex);
  for (;;) {
    isr.wake.wait(lock, [&] { return isr.generation != generation || isr.queued > 0; });
    if (isr.generation != generation)
      return;
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

}  // namespace

bool start_isr_thread(Board& b, int pin) {
  IsrLine& isr = b.lines[pin].isr;
  try {
    isr.thread = std::thread(isr_loop, pin, isr.generation);
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
  isr.running = false;
  std::thread t = std::move(isr.thread);
  isr.wake.notify_all();
  b.changed.notify_all();
  if (!t.joinable())
    return;
  if (t.get_id() == std::this_thread::get_id()) {
    // Stopped from its own handler: the thread ends once the handler returns.
    t.detach();
    return;
  }
  lock.unlock();
  t.join();
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
  isr.wake.notify_one();
  return true;
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
