// SPDX-License-Identifier: MIT
// kivctl doctor's checks. Each reads what the library will meet on this
// machine and switches nothing, except those of --active.
#pragma once

#include <string>

#include "device.h"
#include "doctor/report.h"

namespace kivctl {

Check check_board();                        // the GPIO library knows the board
Check check_port(const std::string& name);  // "com1" or "com2"
Check check_i2c();                          // "/dev/i2c-5" and its adapter
// The lens controller at 0x18, behind the bus that `bus` checked.
Check check_lens(Device& device, const Check& bus);
Check check_config();  // "/etc/ul-opx3000.ini"
Check check_cpu();     // CPU serial and variant
// The LED library can start here: without a device, what can be told without
// starting it; with the device up (--active), its start and the four status
// colours in turn.
Check check_strip(Device* active);
Check check_library();  // the installed libkiv_io.so
// --active only: the device exercised through setup().
Check check_light_active(Device& device);
Check check_lens_active(Device& device);

// Kernel facts the checks read: the names on the kernel command line's
// console= entries, and whether a module is loaded.
std::string kernel_cmdline();
bool module_loaded(const std::string& name);

}  // namespace kivctl
