// SPDX-License-Identifier: MIT
// Helpers of the configuration tests: the deployment list of updated devices,
// a /proc/cpuinfo naming a chosen serial number, and the configuration file.
#pragma once

#include <string>
#include <vector>

namespace kivtest {

// The lines of the list compiled into the library.
std::vector<std::string> updated_cpus_file_lines();
// A serial number of the list, and one that is not in it.
std::string serial_in_table();
std::string serial_not_in_table();
// A /proc/cpuinfo as the board shows it, with the line "Serial\t\t: <serial>".
std::string cpuinfo_with_serial(const std::string& serial);

// Replaces /etc/ul-opx3000.ini in one step (a lookup never sees it missing or
// half-written).
bool replace_config_file(const std::string& text);
// Makes /etc/ul-opx3000.ini exist but fail to open.
bool make_config_file_unopenable();

// The five results of get_value_by_config(1..5) and of firmware_index_v2(1..5).
std::vector<int> configured_values();
std::vector<int> values_in_force();

}  // namespace kivtest
