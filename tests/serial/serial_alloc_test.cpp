// SPDX-License-Identifier: MIT
// Writes and received chunks allocate no memory once a port is open.
// Counts allocations with a malloc defined in the test executable, ahead of
// the C library's; the sanitised build brings its own allocator, so there
// the count is not available and the test skips.
#include <cstdlib>

#include "serial_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define KIV_COUNTS_ALLOCATIONS 0
#else
#define KIV_COUNTS_ALLOCATIONS 1
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);

namespace {
std::atomic<long> g_allocations{0};
}

extern "C" void* malloc(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
#endif

namespace kivtest {
namespace {

#if KIV_COUNTS_ALLOCATIONS
std::atomic<int> g_chunks{0};
void count_chunk(char*) {
  g_chunks.fetch_add(1);
}
void count_data(const unsigned char*, int, void* user) {
  static_cast<std::atomic<int>*>(user)->fetch_add(1);
}
#endif

TEST_F(SerialTest, WritesAndReceivedChunksAllocateNothing) {
#if KIV_COUNTS_ALLOCATIONS
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  // The string form, then the data form.
  const struct {
    const char* name;
    int (*register_it)();
  } forms[] = {
      {"string callback", [] { return svSetSerialReadCallback(count_chunk, 0); }},
      {"data callback", [] { return SetReadSerialPortDataCallback(count_data, &g_chunks, 0); }},
  };
  static char data[16];
  char byte[] = "x";
  for (const auto& form : forms) {
    ASSERT_EQ(form.register_it(), 0);
    g_chunks = 0;
    // Warm up once: the first write and read may touch lazily set-up state.
    ASSERT_EQ(WriteSerialPort(data, 10, 0), 0);
    drain(peer1_);
    ASSERT_EQ(::write(peer1_, "w", 1), 1);
    ASSERT_TRUE(wait_until([&] { return g_chunks.load() == 1; })) << form.name;
    const long before = g_allocations.load();
    for (int i = 0; i < 50; ++i) {
      ASSERT_EQ(WriteSerialPort(byte, 1, 0), 0);
      ASSERT_EQ(::write(peer1_, "y", 1), 1);
      ASSERT_TRUE(wait_until([&] { return g_chunks.load() == i + 2; })) << form.name;
    }
    const long during = g_allocations.load() - before;
    EXPECT_EQ(during, 0) << "allocations during 50 writes and chunks, " << form.name;
  }
#else
  GTEST_SKIP() << "allocation counting is not available under AddressSanitizer";
#endif
}

}  // namespace
}  // namespace kivtest
