// SPDX-License-Identifier: MIT
// Switching the light as a whole: open_light, close_light and the light-on
// flag they keep.
#include <mutex>

#include "facade/light_frame.h"
#include "facade/pins.h"
#include "kiv_io.h"

namespace kiv {

int t_light_on = 0;
pthread_t t_light_thread{};

namespace {

// Makes each test and change of t_light_on one step with its light frame.
// Held across the frame's write and pause: the frames must reach the
// controller in the order of the flag's changes, or the light could end up off
// while the flag says on. The write is bounded, so a waiter waits at most one
// frame's write and pause. Never held around a callback or a join.
std::mutex light_state_mutex;

int light_flag() {
  return __atomic_load_n(&t_light_on, __ATOMIC_RELAXED);
}

void set_light_flag(int on) {
  // The exported flag stays a plain int; other threads read it without the lock.
  __atomic_store_n(&t_light_on, on, __ATOMIC_RELAXED);
}

}  // namespace

int KivIo::open_light() {
  std::lock_guard<std::mutex> lock(light_state_mutex);
  if (light_flag() != 0)
    return 1;
  if (__atomic_load_n(&workMode, __ATOMIC_RELAXED) != kLightWorkMode)
    setWorkMode(kLightWorkMode);
  // Set before the frame and kept when its write fails: the flag records what
  // the library asked for, not what the controller did.
  set_light_flag(1);
  callCmd(light::kLight, light::kLightOn);
  return 0;
}

int KivIo::close_light() {
  std::lock_guard<std::mutex> lock(light_state_mutex);
  if (light_flag() == 0)
    return 0;
  set_light_flag(0);
  callCmd(light::kLight, light::kLightOff);
  return 0;
}

}  // namespace kiv
