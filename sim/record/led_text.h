// SPDX-License-Identifier: MIT
// The strip's LEDs shown to a person: their colours in hexadecimal, and as
// blocks in terminal colours.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kivsim {

// "00ff00": one LED's colour (0xRRGGBB), six lower-case hex digits.
std::string led_hex(uint32_t word);

// Two blocks per LED in its colour, in terminal colours.
std::string strip_colour_blocks(const std::vector<uint32_t>& leds);

// "9 LEDs: ff0000 x9" or "3 LEDs: ff0000 00ff00 0000ff"; "no LEDs" when empty.
std::string strip_colours_text(const std::vector<uint32_t>& leds);

}  // namespace kivsim
