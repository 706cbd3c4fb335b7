// SPDX-License-Identifier: MIT
// The demo entry point of the library with a sleep that returns at once: it
// prints what the strip last showed and ends the program after nine steps.
// Like kiv_strip_demo it defines no main.
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "ws2811_sim.h"

// Interposes the C library's sleep for the library's demo loop.
extern "C" unsigned sleep(unsigned seconds) {
  static int steps = 0;
  std::vector<kivsim::strip::Render> renders = kivsim::strip::renders();
  std::vector<uint32_t> leds = renders.empty() ? std::vector<uint32_t>() : renders.back().leds[1];
  bool same = true;
  for (uint32_t word : leds)
    same = same && word == leds[0];
  std::printf("sleep %u after %06x x%zu%s\n", seconds, leds.empty() ? 0u : leds[0], leds.size(),
              same ? "" : " (not all the same)");
  std::fflush(stdout);
  if (++steps == 9)
    _exit(0);
  return 0;
}
