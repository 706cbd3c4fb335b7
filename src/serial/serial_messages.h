// SPDX-License-Identifier: MIT
// Internal: every line the serial service prints, in one place.
#pragma once

namespace kiv::serial::msg {

constexpr const char kOpenError[] = "open serial %s error\n";  // printf
constexpr const char kPathTooLong[] = "open serial %s error: path too long\n";
constexpr const char kNoFreeSlot[] = "open serial %s error: both ports in use\n";
constexpr const char kOpened[] = "serial index  %d  fd  %d\n";            // printf
constexpr const char kThreadInitError[] = "serial  thread init error\r";  // puts
constexpr const char kWriteError[] = "write serial error\r";              // puts
constexpr const char kCallbackError[] = "set serial callback error\r";    // puts

}  // namespace kiv::serial::msg
