// SPDX-License-Identifier: MIT
// Simulated board: the WiringPi stand-in's link to the launcher, over the
// Unix stream socket named by KIV_SIM_GPIO_SOCKET: its reports and the
// launcher's commands, in the messages of sim/link/gpio_wire.h, through the
// reporter of sim/link/reporter.h. Internal.
#pragma once

#include "gpio_wire.h"

namespace kivsim {
namespace gpio {
namespace detail {

// Connects to the socket named by KIV_SIM_GPIO_SOCKET, once, and starts the
// thread that takes commands. Does nothing when the variable is unset.
// Returns whether a connection was made (the launcher may have hung up
// since).
bool remote_connect();
// Sends one report without waiting for the launcher, stamped now. Cheap when
// not connected.
void report(const link::GpioReport& report);
// Reports "write <pin> <level>" and keeps the level for a catch-up.
void report_write(int pin, int level);
// Reports "mode <pin> <mode>" and keeps it for a catch-up.
void report_mode(int pin, int mode);
// Sends what is left within a bound, stops the command thread and closes the
// socket.
void remote_stop();

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
