// SPDX-License-Identifier: MIT
// The device's GPIO lines (SoC numbering) and serial port indices as the
// facade uses them.
#pragma once

namespace kiv {
namespace pin {

// Outputs.
constexpr int kDo1 = 22;
constexpr int kDo2 = 27;
constexpr int kLaser = 13;
constexpr int kScanStatA = 16;
constexpr int kScanStatB = 7;
constexpr int kAlarm = 21;

// Inputs, each with an interrupt on both edges.
constexpr int kInput = 17;
constexpr int kTrigger = 12;
constexpr int kTune = 20;

}  // namespace pin

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
