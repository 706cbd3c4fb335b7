// SPDX-License-Identifier: MIT
// Lets a test say how many bytes a line's output queue counts (a
// pseudo-terminal always counts none) and that its transmitter is still
// sending (a pseudo-terminal cannot tell), and records what each tcflush
// discarded. Defined in the test executable, these come before the C
// library's.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cstdarg>

#include "serial_fixture.h"

namespace kivtest {
std::atomic<int> fake_output_queue{-1};
std::atomic<int> last_flush_selector{-1};
std::atomic<bool> fake_transmitter_busy{false};
}  // namespace kivtest

extern "C" int ioctl(int fd, unsigned long request, ...) {
  using Ioctl = int (*)(int, unsigned long, void*);
  static Ioctl real = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  const int queued = kivtest::fake_output_queue.load();
  if (request == TIOCOUTQ && queued >= 0) {
    *static_cast<int*>(arg) = queued;
    return 0;
  }
  if (request == TIOCSERGETLSR && kivtest::fake_transmitter_busy.load()) {
    *static_cast<unsigned int*>(arg) = 0;  // TIOCSER_TEMT clear
    return 0;
  }
  return real(fd, request, arg);
}

extern "C" int tcflush(int fd, int selector) {
  using Flush = int (*)(int, int);
  static Flush real = reinterpret_cast<Flush>(dlsym(RTLD_NEXT, "tcflush"));
  kivtest::last_flush_selector = selector;
  return real(fd, selector);
}
