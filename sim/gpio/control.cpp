// SPDX-License-Identifier: MIT
// WiringPi stand-in: the control interface for tests and simulators.
#include <pthread.h>
#include <signal.h>

#include <cstdlib>

#include "board.h"
#include "exit_stop.h"
#include "isr_threads.h"
#include "remote.h"
#include "wiringPi_sim.h"

namespace kivsim {
namespace gpio {

using detail::Board;
using detail::board;
using detail::valid_pin;

namespace {

// Reads one field of a line under the board mutex; `fallback` for bad pins.
template <typename Get>
int read_line(int pin, int fallback, Get get) {
  if (!valid_pin(pin))
    return fallback;
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  return get(b.lines[pin]);
}

template <typename Pred>
bool wait_for(std::chrono::milliseconds timeout, Pred pred) {
  Board& b = board();
  std::unique_lock<std::mutex> lock(b.mutex);
  return b.changed.wait_for(lock, timeout, [&] { return pred(b); });
}

}  // namespace

void fail_setup(bool fail) {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  b.fail_setup = fail;
}

void fail_isr(int pin, bool fail) {
  if (!valid_pin(pin))
    return;
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  b.lines[pin].fail_isr = fail;
}

bool is_set_up() {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  return b.set_up;
}

int mode(int pin) {
  return read_line(pin, kUnset, [](const detail::Line& l) { return l.mode; });
}
int pull(int pin) {
  return read_line(pin, kUnset, [](const detail::Line& l) { return l.pull; });
}
int level(int pin) {
  return read_line(pin, kUnset, [](const detail::Line& l) { return l.level; });
}
bool has_isr(int pin) {
  return read_line(pin, 0, [](const detail::Line& l) { return l.isr.handler ? 1 : 0; }) != 0;
}
int isr_edge(int pin) {
  return read_line(pin, kUnset, [](const detail::Line& l) { return l.isr.edge; });
}
int handler_starts(int pin) {
  return read_line(pin, 0, [](const detail::Line& l) { return l.isr.starts; });
}
int handler_ends(int pin) {
  return read_line(pin, 0, [](const detail::Line& l) { return l.isr.ends; });
}
int edges_lost(int pin) {
  return read_line(pin, 0, [](const detail::Line& l) { return l.isr.lost; });
}

std::vector<Call> calls() {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  return b.log;
}

void clear_calls() {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  b.log.clear();
}

std::vector<Call> calls_of(CallKind kind, int pin) {
  std::vector<Call> out;
  for (const Call& c : calls())
    if (c.kind == kind && (pin < 0 || c.pin == pin))
      out.push_back(c);
  return out;
}

int fault_count() {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  return static_cast<int>(b.faults.size());
}

std::vector<std::string> faults() {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  return b.faults;
}

void set_level(int pin, int new_level) {
  if (!valid_pin(pin))
    return;
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  b.lines[pin].level = new_level != 0 ? 1 : 0;
  b.lines[pin].driven = true;
}

bool inject_edge(int pin, int new_level) {
  if (!valid_pin(pin))
    return false;
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  auto& line = b.lines[pin];
  line.level = new_level != 0 ? 1 : 0;
  line.driven = true;
  return detail::queue_edge(b, pin, line.level);
}

bool wait_handler_idle(int pin, std::chrono::milliseconds timeout) {
  if (!valid_pin(pin))
    return false;
  return wait_for(timeout, [pin](Board& b) {
    const auto& isr = b.lines[pin].isr;
    return isr.queued == 0 && isr.running == 0;
  });
}

bool wait_handler_ends(int pin, int count, std::chrono::milliseconds timeout) {
  if (!valid_pin(pin))
    return false;
  return wait_for(timeout, [pin, count](Board& b) { return b.lines[pin].isr.ends >= count; });
}

bool wait_delays(unsigned ms, int count, std::chrono::milliseconds timeout) {
  return wait_for(timeout, [ms, count](Board& b) {
    int seen = 0;
    for (const Call& c : b.log)
      if (c.kind == CallKind::Delay && c.value == static_cast<int>(ms))
        ++seen;
    return seen >= count;
  });
}

bool signal_isr_thread(int pin, int signal) {
  if (!valid_pin(pin))
    return false;
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  std::thread& thread = b.lines[pin].isr.thread;
  return thread.joinable() && pthread_kill(thread.native_handle(), signal) == 0;
}

int isr_threads(int pin) {
  if (!valid_pin(pin))
    return 0;
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  const detail::IsrLine& isr = b.lines[pin].isr;
  return (isr.thread.joinable() ? 1 : 0) + static_cast<int>(isr.more_threads.size());
}

void set_isr_delay(std::chrono::milliseconds delay) {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  b.isr_delay_ms = static_cast<unsigned>(delay.count());
}

void stop_all() {
  Board& b = board();
  {
    std::unique_lock<std::mutex> lock(b.mutex);
    for (int pin = 0; pin < detail::kPinCount; ++pin)
      detail::retire_isr(b, pin, lock);
  }
  // Without the board mutex: the command thread may be waiting for it.
  detail::remote_stop();
}

namespace detail {

void stop_at_exit() {
  static std::once_flag once;
  std::call_once(once, [] { std::atexit([] { stop_all(); }); });
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
