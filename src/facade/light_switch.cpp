// SPDX-License-Identifier: MIT
// Switching the light as a whole: open_light, close_light and the light-on
// flag they keep, and the work mode that open_light depends on.
#include <cstdio>
#include <mutex>

#include "facade/facade_constants.h"
#include "facade/messages.h"
#include "kiv_io.h"
#include "light/light_frame.h"

namespace kiv {

int t_light_on = 0;
pthread_t t_light_thread{};

namespace {

// Makes each test and change of t_light_on one step with its light frame, and
// each change of workMode one step with its mode frame. Held across the
// frames' writes and pauses: the frames must reach the controller in the order
// of the changes, or the light could end up off while the flag says on, or go
// on in a mode other than 5 because workMode already said 5. The write is
// bounded, so a waiter waits at most for open_light's two frames and pauses.
// Never held around a callback or a join.
std::mutex light_state_mutex;

int light_flag() {
  return __atomic_load_n(&t_light_on, __ATOMIC_RELAXED);
}

void set_light_flag(int on) {
  // The exported flag stays a plain int; other threads read it without the lock.
  __atomic_store_n(&t_light_on, on, __ATOMIC_RELAXED);
}

// setWorkMode's work, for a caller that holds light_state_mutex.
int send_work_mode(KivIo& io, int mode) {
  const int result = io.callCmd(light::kWorkMode, light::low_byte(mode));
  std::printf(msg::kWorkMode, mode, result);
  // Stored when the write failed too: it records what the library asked for.
  __atomic_store_n(&io.workMode, mode, __ATOMIC_RELAXED);
  return result;
}

}  // namespace

int KivIo::setWorkMode(int mode) {
  std::lock_guard<std::mutex> lock(light_state_mutex);
  return send_work_mode(*this, mode);
}

int KivIo::open_light() {
  std::lock_guard<std::mutex> lock(light_state_mutex);
  if (light_flag() != 0)
    return 1;
  if (__atomic_load_n(&workMode, __ATOMIC_RELAXED) != kLightWorkMode)
    send_work_mode(*this, kLightWorkMode);
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
