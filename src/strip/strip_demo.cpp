// SPDX-License-Identifier: MIT
// The demo entry point exported by the library: a program that links the
// library and defines no main of its own runs it.
#include <unistd.h>

#include <cstdio>

#include "kiv_export.h"
#include "kiv_strip.h"
#include "strip/strip_messages.h"

namespace {

// The demo steps through the colours, never the off entry.
constexpr int kDemoColours = 8;

}  // namespace

// Starts the strip and shows palette entries 0 to 7, one a second, until the
// process is ended. When the strip cannot start (its failure line is on
// standard error already) it returns 1 without entering the loop.
KIV_EXPORT int main() {
  if (light_ws2811_init() != 0)
    return 1;
  std::puts(kiv::strip_msg::kDemoInitOk);
  for (int c = 0;; c = (c + 1) % kDemoColours) {
    std::printf(kiv::strip_msg::kDemoColor, c);
    // A pipe (the launcher, a log) sees each line as it happens.
    std::fflush(stdout);
    light_ws2811_color(c);
    sleep(1);
  }
}
