// SPDX-License-Identifier: MIT
// A fuzz target's own checks: a broken one ends the process, which libFuzzer
// and the replay driver report as a fault with its input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define KIV_FUZZ_CHECK(condition)                                                        \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)
