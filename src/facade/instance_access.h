// SPDX-License-Identifier: MIT
// Reading a callback of the current instance from the library's event threads.
#pragma once

#include <mutex>

#include "kiv_io.h"

namespace kiv {
namespace detail {

// The callback `member` of the instance current at the time of the call,
// creating a fresh instance (null callbacks) if there is none, as getInstance
// does. The instance is looked up under sMutex, which close_io also takes to
// take the instance out, so the pointer read never comes from a deleted
// instance; the caller calls the result outside the lock. Any thread.
template <typename Callback>
Callback current_callback(Callback KivIo::*member) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(KivIo::sMutex);
      if (KivIo* io = KivIo::instance)
        return __atomic_load_n(&(io->*member), __ATOMIC_ACQUIRE);
    }
    KivIo::getInstance();
  }
}

}  // namespace detail
}  // namespace kiv
