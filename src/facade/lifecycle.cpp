// SPDX-License-Identifier: MIT
// The facade's single instance: creation, destruction and close_io.
#include <cstdio>

#include "facade/facade_constants.h"
#include "facade/messages.h"
#include "facade/user_callbacks.h"
#include "kiv_io.h"
#include "kiv_serial.h"
#include "kiv_strip.h"

namespace kiv {

KivIo* KivIo::instance = nullptr;
std::mutex KivIo::sMutex;

KivIo::KivIo()
    : hardwareCallback(nullptr),
      inputCallback(nullptr),
      triggerCallback(nullptr),
      tuneCallback(nullptr),
      workMode(1) {
  std::puts(msg::kCreate);
}

KivIo::~KivIo() {
  // Event threads read these pointers without a lock.
  __atomic_store_n(&inputCallback, nullptr, __ATOMIC_RELEASE);
  __atomic_store_n(&triggerCallback, nullptr, __ATOMIC_RELEASE);
  __atomic_store_n(&tuneCallback, nullptr, __ATOMIC_RELEASE);
  __atomic_store_n(&hardwareCallback, nullptr, __ATOMIC_RELEASE);
  // Once close_io returns, no callback registered with a user pointer runs, so
  // the application may free what the pointer points at. The serial ports'
  // data callbacks go with the ports below.
  detail::drop_user_callbacks();
  // The strip module releases the strip only if it is running.
  light_ws2811_deinit();
  svSerialFree(kAma1Port);
  svSerialFree(kAma2Port);
  std::puts(msg::kDelete);
}

KivIo* KivIo::getInstance() {
  std::lock_guard<std::mutex> lock(sMutex);
  // Stored atomically: the exported pointer may be read without the lock.
  if (!instance)
    __atomic_store_n(&instance, new KivIo(), __ATOMIC_RELEASE);
  return instance;
}

void KivIo::close_io() {
  // Taking the instance out under the lock keeps input handlers, which look it
  // up under the same lock after their wait, off the instance being deleted.
  // Deleting after unlocking lets serial reader threads that the destructor
  // joins still get through getInstance() (they then see a fresh instance).
  KivIo* doomed;
  {
    std::lock_guard<std::mutex> lock(sMutex);
    doomed = instance;
    __atomic_store_n(&instance, nullptr, __ATOMIC_RELEASE);
  }
  delete doomed;
}

}  // namespace kiv
