// SPDX-License-Identifier: MIT
// The status colours on the LED strip.
#include <cstdio>

#include "facade/messages.h"
#include "kiv_io.h"
#include "kiv_strip.h"

namespace kiv {
namespace {

// Palette entries of the status states 0 to 3: off, blue, green, red.
constexpr int kStatusPaletteIndex[] = {8, 5, 3, 0};
constexpr unsigned kStatusCount = sizeof kStatusPaletteIndex / sizeof kStatusPaletteIndex[0];

}  // namespace

void KivIo::setRgbLight(unsigned char state) {
  std::printf(msg::kRgbState, state);
  // The strip's result (-1 while it is not running) is not passed on.
  if (state < kStatusCount)
    light_ws2811_color(kStatusPaletteIndex[state]);
}

void KivIo::setRgbLight_rgb(unsigned char blue, unsigned char green, unsigned char red) {
  light_ws2811_rgb(blue, green, red);
}

}  // namespace kiv
