// SPDX-License-Identifier: MIT
// Internal: the steps of deciding the board variant, apart from the fixed
// "/proc/cpuinfo" they are given in the library.
#pragma once

#include <cstdio>

namespace kiv_config {

// Reads the first "Serial" line of the cpuinfo text in `cpuinfo` into
// serial_buf (at most 16 characters and a zero byte); serial_buf keeps its
// contents when there is none.
void read_cpu_serial(FILE* cpuinfo);

// 1 when `serial` names an updated device, -1 otherwise.
int variant_of(const char* serial);

}  // namespace kiv_config
