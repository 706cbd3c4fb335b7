// SPDX-License-Identifier: MIT
// The serial port indices and light controller values the facade uses, and
// the wait of its input handlers. The GPIO lines are in gpio/pins.h.
#pragma once

namespace kiv {

// Serial port indices: "/dev/com1" (AMA1) and "/dev/com2" (AMA2, the light
// controller) when both open.
constexpr int kAma1Port = 0;
constexpr int kAma2Port = 1;
constexpr int kSerialBaud = 115200;
// Brightness the light controller is given at start-up.
constexpr int kInitialBrightness = 24;

// The work mode the light controller needs for switching the light as a whole.
constexpr int kLightWorkMode = 5;

// Time between an input edge and its callback; the level is sampled before it.
constexpr unsigned kInputSettleMs = 100;

}  // namespace kiv
