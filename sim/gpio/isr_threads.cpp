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
    ++isr.running;
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
  isr.wake.notify_all();
  b.changed.notify_all();
  for (std::thread& t : threads) {
    if (!t.joinable())
      continue;
    if (t.get_id() == std::this_thread::get_id()) {
      // Stopped from its own handler: the thread ends once the handler returns.
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
  isr.wake.notify_all();
  return true;
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
