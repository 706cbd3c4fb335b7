// SPDX-License-Identifier: MIT
// Storage of the facade's callbacks registered with a user pointer.
#include "facade/user_callbacks.h"

namespace kiv {
namespace detail {
namespace {

struct UserCallbacks {
  GuardedRegistration<LevelCallback> levels[3];
  GuardedRegistration<HardwareCallback> hardware;
};

UserCallbacks& user_callbacks() {
  // Made at first use and never destroyed: an interrupt thread may still look
  // at it while the process exits.
  static UserCallbacks* const callbacks = new UserCallbacks();
  return *callbacks;
}

}  // namespace

GuardedRegistration<LevelCallback>& level_callback(InputLine line) {
  return user_callbacks().levels[static_cast<int>(line)];
}

GuardedRegistration<HardwareCallback>& hardware_callback() {
  return user_callbacks().hardware;
}

void drop_user_callbacks() {
  // All go at once, then their running calls are waited for.
  UserCallbacks& callbacks = user_callbacks();
  GuardedRegistration<LevelCallback>::Ticket levels[3];
  for (int i = 0; i < 3; ++i)
    levels[i] = callbacks.levels[i].install({});
  const auto hardware = callbacks.hardware.install({});
  for (int i = 0; i < 3; ++i)
    callbacks.levels[i].wait_out(levels[i]);
  callbacks.hardware.wait_out(hardware);
}

}  // namespace detail
}  // namespace kiv
