// SPDX-License-Identifier: MIT
#include "alloc_counter.h"

#include <atomic>
#include <cstddef>

#ifdef KIV_BENCH_COUNT_ALLOCATIONS

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {
std::atomic<uint64_t> g_allocations{0};
inline void count() {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void* malloc(size_t size) {
  count();
  return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
  count();
  return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
  count();
  return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
  count();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  count();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  count();
  void* p = __libc_memalign(alignment, size);
  if (!p)
    return 12;  // ENOMEM
  *out = p;
  return 0;
}
}

namespace bench {
bool allocations_counted() {
  return true;
}
uint64_t allocations() {
  return g_allocations.load(std::memory_order_relaxed);
}
}  // namespace bench

#else

namespace bench {
bool allocations_counted() {
  return false;
}
uint64_t allocations() {
  return 0;
}
}  // namespace bench

#endif
