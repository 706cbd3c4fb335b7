// SPDX-License-Identifier: MIT
// Simulated board: control of the WiringPi stand-in from another process over
// the Unix stream socket named by KIV_SIM_GPIO_SOCKET. Internal.
//
// Reports, one text line per event, each after "@<ns> ", the CLOCK_MONOTONIC
// time of the call in nanoseconds: "setup <result>", "mode <pin> <mode>",
// "pull <pin> <pud>", "write <pin> <level>", "isr <pin> <edge> <result>",
// "read <pin> <level>", "handler-start <pin>", "handler-end <pin>". Reports
// the launcher is too slow to take wait in a bounded backlog; past it they are
// lost, and once the backlog is sent "lost <count>" follows, then
// "written <pin> <level>" with the level of every line written so far.
// Commands: "edge <pin> <level>", "level <pin> <level>"; others are ignored.
#pragma once

namespace kivsim {
namespace gpio {
namespace detail {

// Connects to the socket named by KIV_SIM_GPIO_SOCKET, once, and starts the
// thread that takes commands. Does nothing when the variable is unset.
void remote_connect();
// Sends one report line without waiting for the launcher (see above). Cheap
// when not connected; a failed send (the launcher is gone) turns reporting off.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Reports "write <pin> <level>" and keeps the level for a catch-up.
void report_write(int pin, int level);
// Sends what is left within a bound, stops the command thread and closes the
// socket.
void remote_stop();

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
