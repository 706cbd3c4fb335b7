// SPDX-License-Identifier: MIT
// The device's GPIO lines (SoC numbering) as the library drives them.
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
}  // namespace kiv
