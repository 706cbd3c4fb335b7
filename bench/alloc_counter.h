// SPDX-License-Identifier: MIT
// Heap allocations made by the whole process (every thread, the library's
// and the stand-ins' included), counted by malloc, calloc, realloc and the
// aligned forms of this program, which come before the C library's. Builds
// with a sanitizer keep their own allocator: there the count is unavailable.
#pragma once

#include <cstdint>

namespace bench {

// Whether allocations are counted in this build.
bool allocations_counted();
// Allocations so far.
uint64_t allocations();

}  // namespace bench
