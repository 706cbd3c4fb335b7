// SPDX-License-Identifier: MIT
// The light controller's command bytes as the facade sends them.
#pragma once

namespace kiv {
namespace light {

constexpr char kWorkMode = '5';
constexpr char kFlash = '6';
constexpr char kFlashCount = '7';
constexpr char kFlashTime = '8';
constexpr char kLight = '9';

// Arguments: flash takes the digit "1"; the light takes raw 1 and 0.
constexpr char kFlashOnce = '1';
constexpr char kLightOn = 0x01;
constexpr char kLightOff = 0x00;

// The low 8 bits of a number, as the argument byte carries it.
constexpr char low_byte(int value) {
  return static_cast<char>(value & 0xFF);
}

}  // namespace light
}  // namespace kiv
