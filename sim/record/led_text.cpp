// SPDX-License-Identifier: MIT
#include "led_text.h"

#include <algorithm>
#include <cstdio>

namespace kivsim {

std::string led_hex(uint32_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "%06x", static_cast<unsigned>(word & 0xFFFFFF));
  return text;
}

// An LED that is off is a grey shade, so that it shows on a dark terminal
// too. A dim colour (the palette's 0x20 entries) is still plainly lit on an
// LED but near black on a screen, so its hue is shown at a readable
// brightness; the text keeps the true value.
std::string strip_colour_blocks(const std::vector<uint32_t>& leds) {
  constexpr unsigned kReadable = 0xC0;
  std::string out;
  for (uint32_t word : leds) {
    unsigned rgb[3] = {(word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF};
    unsigned top = std::max(rgb[0], std::max(rgb[1], rgb[2]));
    if (top == 0) {
      out += "\x1b[38;2;90;90;90m\u2591\u2591\x1b[0m ";
      continue;
    }
    if (top < kReadable)
      for (unsigned& c : rgb)
        c = c * kReadable / top;
    char esc[32];
    std::snprintf(esc, sizeof esc, "\x1b[38;2;%u;%u;%um", rgb[0], rgb[1], rgb[2]);
    out += esc;
    out += "\u2588\u2588\x1b[0m ";
  }
  return out;
}

std::string strip_colours_text(const std::vector<uint32_t>& leds) {
  if (leds.empty())
    return "no LEDs";
  std::string out = std::to_string(leds.size()) + (leds.size() == 1 ? " LED:" : " LEDs:");
  bool same = true;
  for (uint32_t word : leds)
    same = same && word == leds[0];
  if (same && leds.size() > 1)
    return out + " " + led_hex(leds[0]) + " x" + std::to_string(leds.size());
  for (uint32_t word : leds)
    out += " " + led_hex(word);
  return out;
}

}  // namespace kivsim
