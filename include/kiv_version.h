// SPDX-License-Identifier: MIT
// kiv_io: the library's version.
#pragma once

#include "kiv_export.h"

#ifdef __cplusplus
extern "C" {
#endif

// The library's version, "MAJOR.MINOR.PATCH": the version of its packages, its
// pkg-config file and its CMake package. A static string; any thread.
KIV_EXPORT const char* kiv_io_version(void);

#ifdef __cplusplus
}
#endif
