// SPDX-License-Identifier: MIT
// WiringPi stand-in: interrupt registration. Unlike the real library it
// pauses before a registration only when asked (set_isr_delay), and it reports
// refusals in its result. As on the board, a second registration of a pin
// replaces the handler and starts a second thread on the pin.
#include <time.h>

#include <cerrno>
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
  const bool again = isr.thread.joinable();
  if (again)
    std::fprintf(stderr,
                 "[wiringPi stand-in] pin %d: ISR function alread active, ignoring "
                 "(the handler is replaced and a further thread started, as on the board)\n",
                 pin);
  if (!kivsim::gpio::detail::start_isr_thread(b, pin)) {
    if (!again) {
      isr.handler = nullptr;
      isr.edge = kUnset;
    }
    return -1;
  }
  return 0;
}

// The board's registration sleeps a second before it starts; here only the
// pause a test asked for, without the board mutex.
void registration_pause(Board& b) {
  unsigned ms;
  {
    std::lock_guard<std::mutex> lock(b.mutex);
    ms = b.isr_delay_ms;
  }
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (ms > 0 && nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace

int wiringPiISR(int pin, int mode, void (*function)(void)) {
  Board& b = board();
  registration_pause(b);
  std::lock_guard<std::mutex> lock(b.mutex);
  int result = register_isr(b, pin, mode, function);
  log_call(b, CallKind::Isr, pin, mode, result);
  report({kivsim::link::GpioReportKind::kIsr, pin, mode, result});
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
