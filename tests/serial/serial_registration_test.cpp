// SPDX-License-Identifier: MIT
// A new registration does not return while a read still fills the buffer it
// replaced, so the caller may reuse that buffer at once.
#include <dlfcn.h>

#include "serial_fixture.h"

namespace kivtest {
namespace {

// Reads on one descriptor are slowed down, seen by a read() defined in the
// test executable ahead of the C library's.
std::atomic<int> g_slow_fd{-1};
std::atomic<void*> g_reading_into{nullptr};
std::atomic<bool> g_read_done{false};

}  // namespace
}  // namespace kivtest

extern "C" ssize_t read(int fd, void* buf, size_t count) {
  using Read = ssize_t (*)(int, void*, size_t);
  static Read real = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "read"));
  if (fd < 0 || fd != kivtest::g_slow_fd.load())
    return real(fd, buf, count);
  kivtest::g_reading_into = buf;
  usleep(300000);
  ssize_t got = real(fd, buf, count);
  kivtest::g_read_done = true;
  return got;
}

namespace kivtest {
namespace {

void ignore_chunk(char*) {}

TEST_F(SerialTest, ANewRegistrationWaitsForAReadIntoTheBufferItReplaces) {
  static char first[64], second[64];
  StdoutCapture out;
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  ASSERT_EQ(SetReadSerialPortCallback(ignore_chunk, first, sizeof first, 0), 0);
  g_slow_fd = printed_fd(out.text());
  write_all(peer1_, "x", 1);
  ASSERT_TRUE(wait_until([] { return g_reading_into.load() == first; }));
  ASSERT_EQ(SetReadSerialPortCallback(ignore_chunk, second, sizeof second, 0), 0);
  EXPECT_TRUE(g_read_done.load()) << "returned while a read still filled the replaced buffer";
  g_slow_fd = -1;
}

}  // namespace
}  // namespace kivtest
