// SPDX-License-Identifier: MIT
// Input events: callback registration and the interrupt handlers that turn
// edges on the input, trigger and tune lines into callback calls.
#include <wiringPi.h>

#include "facade/facade_constants.h"
#include "facade/instance_access.h"
#include "gpio/pins.h"
#include "kiv_io.h"

namespace kiv {
namespace {

// Runs on the line's interrupt thread for every edge.
void dispatch_edge(int line, void (*KivIo::*callback)(int)) {
  KivIo::getInstance();
  // Sampled before the wait: the callback gets the level just after the edge.
  int level = digitalRead(line);
  delay(kInputSettleMs);
  // Read once, after the wait, so a callback registered meanwhile is called.
  if (void (*fn)(int) = detail::current_callback(callback))
    fn(level);
}

}  // namespace

void KivIo::registerInput(void (*fn)(int)) {
  __atomic_store_n(&inputCallback, fn, __ATOMIC_RELEASE);
}
void KivIo::registerTrigger(void (*fn)(int)) {
  __atomic_store_n(&triggerCallback, fn, __ATOMIC_RELEASE);
}
void KivIo::registerTune(void (*fn)(int)) {
  __atomic_store_n(&tuneCallback, fn, __ATOMIC_RELEASE);
}

void callbackInput() {
  dispatch_edge(pin::kInput, &KivIo::inputCallback);
}
void callbackTrigger() {
  dispatch_edge(pin::kTrigger, &KivIo::triggerCallback);
}
void callbackTune() {
  dispatch_edge(pin::kTune, &KivIo::tuneCallback);
}

}  // namespace kiv
