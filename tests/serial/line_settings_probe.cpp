// SPDX-License-Identifier: MIT
// Records the settings applied to each descriptor: a pseudo-terminal keeps
// only 8 data bits without parity, so what the library asked for is read here.
// Defined in the test executable, this tcsetattr comes before the C library's.
#include <dlfcn.h>
#include <termios.h>

#include <mutex>

#include "serial_fixture.h"

namespace kivtest {
namespace {
std::mutex g_mutex;
termios g_applied[1024];
bool g_recorded[1024];
}  // namespace

bool applied_settings(int fd, termios* out) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (fd < 0 || fd >= 1024 || !g_recorded[fd])
    return false;
  *out = g_applied[fd];
  return true;
}

}  // namespace kivtest

extern "C" int tcsetattr(int fd, int action, const termios* t) {
  using Set = int (*)(int, int, const termios*);
  static Set real = reinterpret_cast<Set>(dlsym(RTLD_NEXT, "tcsetattr"));
  if (fd >= 0 && fd < 1024 && t != nullptr) {
    std::lock_guard<std::mutex> lock(kivtest::g_mutex);
    kivtest::g_applied[fd] = *t;
    kivtest::g_recorded[fd] = true;
  }
  return real(fd, action, t);
}
