// SPDX-License-Identifier: MIT
#include "facade/input_lines.h"

#include <wiringPi.h>

#include "gpio/interrupt_registration.h"
#include "gpio/pins.h"
#include "kiv_io.h"
#include "threads/async_signals_blocked.h"

namespace kiv {
namespace {

struct InterruptInput {
  int pin;
  void (*handler)();
};

constexpr InterruptInput kInterruptInputs[] = {
    {pin::kInput, callbackInput},
    {pin::kTrigger, callbackTrigger},
    {pin::kTune, callbackTune},
};

}  // namespace

InputSetup prepare_input(int pin) {
  for (const InterruptInput& in : kInterruptInputs) {
    if (in.pin != pin)
      continue;
    // The GPIO library's interrupt threads inherit this mask: a signal that
    // interrupted their wait would end the line's interrupts for good.
    const AsyncSignalsBlocked blocked;
    pinMode(in.pin, INPUT);
    pullUpDnControl(in.pin, PUD_DOWN);
    // Once per process: a later call finds the interrupt in place.
    return register_interrupt_once(in.pin, in.handler) ? InputSetup::kReady : InputSetup::kRefused;
  }
  return InputSetup::kNotAnInput;
}

}  // namespace kiv
