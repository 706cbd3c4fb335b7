// SPDX-License-Identifier: MIT
// kiv_io: configuration file "/etc/ul-opx3000.ini", board variant and the
// mapping of light sections to controller channels. Exported under plain
// (unmangled) names.
//
// Any thread may call the lookups. The state is decided once per process: a
// cleanly parsed file, or a missing one, is never looked at again; a file that
// fails to parse is read again at each lookup.
#pragma once

#include "kiv_export.h"

#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Configured values; 0 means not configured.
typedef struct config_t {
  int section_1;   // controller channel of light section 1 ("LIGHT")
  int section_2;   // ... section 2
  int section_3;   // ... section 3
  int section_4;   // ... section 4
  int timeout_ns;  // pause after each light controller write, in milliseconds ("CMD")
} config_t;

KIV_EXPORT extern config_t config;
// 0: not read yet or the last parse failed; 1: parsed cleanly; -1: no file.
KIV_EXPORT extern int is_configed;
// 0: not decided yet; 1: updated device; -1: other device.
KIV_EXPORT extern int is_x_device;
// The board's CPU serial number, at most 16 characters.
KIV_EXPORT extern char serial_buf[17];
// CPU serial numbers of the updated devices, searched in order.
KIV_EXPORT extern const char* const X_FIRMWARE_UPDATE_CPUS[348];

// The stored value for n = 1..4 (section_1..section_4) or 5 (timeout_ns); 0 otherwise.
KIV_EXPORT int get_value_by_config(int n);
// The value in force: the configured one, or the board variant's default.
KIV_EXPORT int firmware_index_v2(int n);
// True when the board's CPU serial number is in X_FIRMWARE_UPDATE_CPUS.
KIV_EXPORT bool x_updated_device(void);
// Reads the CPU serial number from "/proc/cpuinfo" into serial_buf.
KIV_EXPORT void get_cpu_serial(void);

#ifdef __cplusplus
}
#endif
