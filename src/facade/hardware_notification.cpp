// SPDX-License-Identifier: MIT
// The light controller's hardware notification: the handler of port index 1's
// chunks and the registration of the application's callback.
#include <cstring>

#include "facade/instance_access.h"
#include "facade/user_callbacks.h"
#include "kiv_io.h"

namespace kiv {
namespace {

// FF AA EE, alone in one read.
constexpr unsigned char kNotification[] = {0xFF, 0xAA, 0xEE};

bool is_notification(const char* chunk) {
  // The chunk is a string: a zero byte ends it, whatever the read held after.
  return chunk != nullptr && std::strlen(chunk) == sizeof kNotification &&
         std::memcmp(chunk, kNotification, sizeof kNotification) == 0;
}

}  // namespace

// One callback of either form: registering one drops the other.
void KivIo::registerHardware(void (*fn)()) {
  __atomic_store_n(&hardwareCallback, fn, __ATOMIC_RELEASE);
  detail::hardware_callback().replace({});
}

void KivIo::registerHardware(void (*fn)(void* user), void* user) {
  __atomic_store_n(&hardwareCallback, nullptr, __ATOMIC_RELEASE);
  detail::hardware_callback().replace({fn, fn != nullptr ? user : nullptr});
}

void callbackHardware(char* chunk) {
  // Every chunk goes through the instance, as the input handlers do, so a
  // chunk after close_io meets a fresh instance without a callback.
  KivIo::getInstance();
  if (!is_notification(chunk))
    return;
  if (void (*fn)() = detail::current_callback(&KivIo::hardwareCallback)) {
    fn();
    return;
  }
  detail::hardware_callback().call([](const detail::HardwareCallback& c) { c.fn(c.user); });
}

}  // namespace kiv
