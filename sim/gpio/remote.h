// SPDX-License-Identifier: MIT
// Simulated board: control of the WiringPi stand-in from another process over
// the Unix stream socket named by KIV_SIM_GPIO_SOCKET. Internal.
//
// Reports, one text line per event: "setup <result>", "mode <pin> <mode>",
// "pull <pin> <pud>", "write <pin> <level>", "isr <pin> <edge> <result>",
// "read <pin> <level>", "handler-start <pin>", "handler-end <pin>".
// Commands: "edge <pin> <level>", "level <pin> <level>"; others are ignored.
#pragma once

namespace kivsim {
namespace gpio {
namespace detail {

// Connects to the socket named by KIV_SIM_GPIO_SOCKET, once, and starts the
// thread that takes commands. Does nothing when the variable is unset.
void remote_connect();
// Sends one report line. Cheap when not connected; a failed or slow send turns
// reporting off for good, so the caller is never held for long.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Stops the command thread and closes the socket.
void remote_stop();

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
