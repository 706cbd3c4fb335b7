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

// The library writes these with atomic stores, field by field, while a
// failing file is parsed again; a reader on another thread should read them
// with atomic loads (__atomic_load_n) too.
KIV_EXPORT extern config_t config;
// 0: not read yet or the last parse failed; 1: parsed cleanly; -1: no file.
KIV_EXPORT extern int is_configed;
// 0: not decided yet; 1: updated device; -1: other device.
KIV_EXPORT extern int is_x_device;
// The board's CPU serial number, at most 16 characters.
KIV_EXPORT extern char serial_buf[17];
// CPU serial numbers of the updated devices, searched in order.
KIV_EXPORT extern const char* const X_FIRMWARE_UPDATE_CPUS[348];

// The stored value for n = 1..4 (section_1..section_4) or 5 (timeout_ns); 0
// for any other n. While is_configed is 0 it first reads the file: a missing
// file sets is_configed to -1, a clean parse sets it to 1 (and raises a
// negative timeout_ns to 0); a parse with failed lines keeps the values its
// accepted lines set and leaves is_configed at 0. Prints nothing. Any thread.
KIV_EXPORT int get_value_by_config(int n);
// The value in force: the configured one when not 0 (passed on unchanged,
// even outside 1..4 or negative), else the board variant's default: sections
// 1..4 give channels 3, 2, 1, 4 on an updated device and 1, 2, 3, 4 on any
// other; 5 gives the pause after each write to port index 1, 2 ms on an
// updated device, 0 otherwise; any other n gives 0. Any thread.
KIV_EXPORT int firmware_index_v2(int n);
// True when the board's CPU serial number is in X_FIRMWARE_UPDATE_CPUS. The
// first call reads the serial number (get_cpu_serial) once and sets
// is_x_device; first calls from other threads at the same time wait for it,
// later calls only read is_x_device. Any thread.
KIV_EXPORT bool x_updated_device(void);
// Prints "[debug] Read cputinfo..." and reads the CPU serial number, at most
// 16 characters of the first "/proc/cpuinfo" line holding "Serial" and ":",
// into serial_buf; keeps serial_buf when there is none. When the file cannot
// be opened, reports it on standard error with perror. Meant for one thread at
// a time: it writes serial_buf.
KIV_EXPORT void get_cpu_serial(void);

#ifdef __cplusplus
}
#endif
