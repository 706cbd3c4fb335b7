// SPDX-License-Identifier: MIT
// WiringPi stand-in: interrupt registration. Unlike the real library it does
// not pause a second per registration, and it reports refusals in its result.
#include <cstdio>

#include "board.h"
#include "isr_threads.h"
#include "remote.h"
#include "wiringPi.h"

using kivsim::gpio::CallKind;
using kivsim::gpio::kUnset;
using kivsim::gpio::detail::Board;
using kivsim::gpio::detail::board;
using kivsim::gpio::detail::fault;
using kivsim::gpio::detail::log_call;
using kivsim::gpio::detail::report;
using kivsim::gpio::detail::valid_pin;

namespace {

int register_isr(Board& b, int pin, int mode, void (*function)(void)) {
  if (!b.set_up) {
    fault(b, "wiringPiISR before wiringPiSetupGpio", pin);
    return -1;
  }
  if (!valid_pin(pin)) {
    fault(b, "wiringPiISR on a pin outside 0..63", pin);
    return -1;
  }
  if (mode < INT_EDGE_FALLING || mode > INT_EDGE_BOTH || !function) {
    // The board prints this and returns 0 with no interrupt running: a silent
    // failure worth a fault here.
    fault(b, "wiringPiISR without a usable edge type or handler", pin);
    return -1;
  }
  auto& isr = b.lines[pin].isr;
  if (b.lines[pin].fail_isr)
    return -1;
  isr.handler = function;
  isr.edge = mode;
  if (isr.thread.joinable()) {
    std::fprintf(stderr, "[wiringPi stand-in] pin %d: interrupt handler replaced\n", pin);
    return 0;
  }
  if (!kivsim::gpio::detail::start_isr_thread(b, pin)) {
    isr.handler = nullptr;
    isr.edge = kUnset;
    return -1;
  }
  return 0;
}

}  // namespace

int wiringPiISR(int pin, int mode, void (*function)(void)) {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  int result = register_isr(b, pin, mode, function);
  log_call(b, CallKind::Isr, pin, mode, result);
  report("isr %d %d %d\n", pin, mode, result);
  return result;
}

int wiringPiISRStop(int pin) {
  Board& b = board();
  std::unique_lock<std::mutex> lock(b.mutex);
  int result = 0;
  if (!valid_pin(pin)) {
    fault(b, "wiringPiISRStop on a pin outside 0..63", pin);
    result = -1;
  } else {
    kivsim::gpio::detail::retire_isr(b, pin, lock);
  }
  log_call(b, CallKind::IsrStop, pin, 0, result);
  return result;
}
