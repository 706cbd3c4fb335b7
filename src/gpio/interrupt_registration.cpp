// SPDX-License-Identifier: MIT
#include "gpio/interrupt_registration.h"

#include <wiringPi.h>

#include <mutex>

namespace kiv {
namespace {

// WiringPi's pin numbers in SoC numbering.
constexpr int kPinCount = 64;

std::mutex g_mutex;
bool g_registered[kPinCount] = {};

}  // namespace

bool register_interrupt_once(int pin, void (*handler)()) {
  if (pin < 0 || pin >= kPinCount)
    return false;
  // Held across the registration, which takes a second or more on the board:
  // a setup() on another thread must find the pin registered, not register
  // it a second time.
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_registered[pin])
    return true;
  if (wiringPiISR(pin, INT_EDGE_BOTH, handler) < 0)
    return false;
  g_registered[pin] = true;
  return true;
}

}  // namespace kiv
