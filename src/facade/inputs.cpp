// SPDX-License-Identifier: MIT
// Input events: callback registration and the interrupt handlers that turn
// edges on the input, trigger and tune lines into callback calls.
#include <wiringPi.h>

#include "facade/facade_constants.h"
#include "facade/instance_access.h"
#include "facade/user_callbacks.h"
#include "gpio/pins.h"
#include "kiv_io.h"

namespace kiv {
namespace {

using detail::InputLine;
using detail::level_callback;

// Runs on the line's interrupt thread for every edge.
void dispatch_edge(int line, void (*KivIo::*callback)(int), InputLine pair) {
  KivIo::getInstance();
  // Sampled before the wait: the callback gets the level just after the edge.
  int level = digitalRead(line);
  delay(kInputSettleMs);
  // Read once, after the wait, so a callback registered meanwhile is called.
  // The plain pointer is null while a pair is registered, and a pair is
  // dropped when a plain pointer is registered.
  if (void (*fn)(int) = detail::current_callback(callback)) {
    fn(level);
    return;
  }
  level_callback(pair).call([level](const detail::LevelCallback& c) { c.fn(level, c.user); });
}

// The plain form: the instance's pointer, and no pair.
void register_plain(void (*KivIo::*member)(int), KivIo* io, void (*fn)(int), InputLine pair) {
  __atomic_store_n(&(io->*member), fn, __ATOMIC_RELEASE);
  level_callback(pair).replace({});
}

// The form with a user pointer: a pair, and a null pointer in the instance.
void register_pair(void (*KivIo::*member)(int), KivIo* io, void (*fn)(int, void*), void* user,
                   InputLine pair) {
  __atomic_store_n(&(io->*member), nullptr, __ATOMIC_RELEASE);
  level_callback(pair).replace({fn, fn != nullptr ? user : nullptr});
}

}  // namespace

void KivIo::registerInput(void (*fn)(int)) {
  register_plain(&KivIo::inputCallback, this, fn, InputLine::kInput);
}
void KivIo::registerTrigger(void (*fn)(int)) {
  register_plain(&KivIo::triggerCallback, this, fn, InputLine::kTrigger);
}
void KivIo::registerTune(void (*fn)(int)) {
  register_plain(&KivIo::tuneCallback, this, fn, InputLine::kTune);
}

void KivIo::registerInput(void (*fn)(int level, void* user), void* user) {
  register_pair(&KivIo::inputCallback, this, fn, user, InputLine::kInput);
}
void KivIo::registerTrigger(void (*fn)(int level, void* user), void* user) {
  register_pair(&KivIo::triggerCallback, this, fn, user, InputLine::kTrigger);
}
void KivIo::registerTune(void (*fn)(int level, void* user), void* user) {
  register_pair(&KivIo::tuneCallback, this, fn, user, InputLine::kTune);
}

void callbackInput() {
  dispatch_edge(pin::kInput, &KivIo::inputCallback, InputLine::kInput);
}
void callbackTrigger() {
  dispatch_edge(pin::kTrigger, &KivIo::triggerCallback, InputLine::kTrigger);
}
void callbackTune() {
  dispatch_edge(pin::kTune, &KivIo::tuneCallback, InputLine::kTune);
}

}  // namespace kiv
