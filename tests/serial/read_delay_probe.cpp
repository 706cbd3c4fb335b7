// SPDX-License-Identifier: MIT
// Lets a test slow the reads of one descriptor: before a read (as a read
// that takes long to fill its buffer) or after it returned bytes (as a
// reader preempted between its read and its hand-over). Defined in the test
// executable, it comes before the C library's read (and before a
// sanitizer's, which it calls in turn).
#include <dlfcn.h>
#include <unistd.h>

#include "serial_fixture.h"

namespace kivtest {
std::atomic<int> slow_read_fd{-1};
std::atomic<void*> slow_read_into{nullptr};
std::atomic<bool> slow_read_done{false};
std::atomic<int> hold_read_fd{-1};
std::atomic<bool> read_held{false};
}  // namespace kivtest

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
  using Read = ssize_t (*)(int, void*, size_t);
  static Read next = [] {
    // A sanitizer's own read, where there is one, keeps what it tracks.
    void* interceptor = dlsym(RTLD_DEFAULT, "__interceptor_read");
    return reinterpret_cast<Read>(interceptor != nullptr ? interceptor : dlsym(RTLD_NEXT, "read"));
  }();
  const bool slow = fd >= 0 && fd == kivtest::slow_read_fd.load();
  if (slow) {
    kivtest::slow_read_into = buffer;
    usleep(300 * 1000);
  }
  const ssize_t got = next(fd, buffer, count);
  if (slow)
    kivtest::slow_read_done = true;
  int held = fd;
  if (got > 0 && kivtest::hold_read_fd.compare_exchange_strong(held, -1)) {
    kivtest::read_held = true;
    usleep(100 * 1000);
  }
  return got;
}
