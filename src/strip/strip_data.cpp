// SPDX-License-Identifier: MIT
// The strip's exported configuration, palette and grid.
#include "kiv_strip.h"

namespace {

constexpr ws2811_led_t rgb(unsigned red, unsigned green, unsigned blue) {
  return red << 16 | green << 8 | blue;
}

constexpr ws2811_t initial_ledstring() {
  ws2811_t s{};
  s.freq = WS2811_TARGET_FREQ;
  s.dmanum = 10;
  s.channel[1].gpionum = 19;
  s.channel[1].invert = 0;
  s.channel[1].count = 9;
  s.channel[1].strip_type = WS2811_STRIP_GBR;
  s.channel[1].brightness = 255;
  return s;
}

}  // namespace

extern "C" {

// Constant-initialised by the compiler: nothing runs at load time.
ws2811_t ledstring = initial_ledstring();

ws2811_led_t dotcolors[9] = {
    rgb(0xFF, 0x00, 0x00),  // red
    rgb(0x20, 0x10, 0x00),  // orange
    rgb(0x20, 0x20, 0x00),  // yellow
    rgb(0x00, 0xFF, 0x00),  // green
    rgb(0x00, 0x20, 0x20),  // light blue
    rgb(0x00, 0x00, 0xFF),  // blue
    rgb(0x10, 0x00, 0x10),  // purple
    rgb(0x20, 0x00, 0x10),  // pink
    rgb(0x00, 0x00, 0x00),  // off
};

int width = 9;
int height = 1;
int led_count = 9;
int dotspos[8] = {0, 1, 2, 3, 4, 5, 6, 7};
int clear_on_exit = 0;

}  // extern "C"
