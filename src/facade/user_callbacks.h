// SPDX-License-Identifier: MIT
// Internal: the facade's callbacks registered with a user pointer, kept beside
// the instance rather than in it, since KivIo's data members are part of the
// exported layout. A line has one callback of either form: its plain pointer
// in the instance, or a pair here; registering one clears the other.
#pragma once

#include "threads/guarded_registration.h"

namespace kiv {
namespace detail {

// An input line's callback and the user pointer handed to it.
struct LevelCallback {
  void (*fn)(int level, void* user) = nullptr;
  void* user = nullptr;
  bool empty() const { return fn == nullptr; }
  // The caller of an unregistration may free `user` once it returns.
  bool awaited() const { return true; }
};

// The hardware notification's callback and its user pointer.
struct HardwareCallback {
  void (*fn)(void* user) = nullptr;
  void* user = nullptr;
  bool empty() const { return fn == nullptr; }
  bool awaited() const { return true; }
};

enum class InputLine { kInput, kTrigger, kTune };

// Live for the whole process, since interrupt threads outlive any instance.
GuardedRegistration<LevelCallback>& level_callback(InputLine line);
GuardedRegistration<HardwareCallback>& hardware_callback();

// Unregisters every pair and waits for their running calls: the instance's
// end.
void drop_user_callbacks();

}  // namespace detail
}  // namespace kiv
