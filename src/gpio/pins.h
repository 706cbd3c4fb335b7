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

// Each line under its one name, as the device's tools and logs call it.
struct NamedLine {
  const char* name;
  int pin;
  bool output;
  const char* older;  // a spelling still read, never written ("scan A"), or null
};

constexpr NamedLine kNamedLines[] = {
    {"laser", kLaser, true, nullptr},       {"alarm", kAlarm, true, nullptr},
    {"scan-a", kScanStatA, true, "scan A"}, {"scan-b", kScanStatB, true, "scan B"},
    {"do1", kDo1, true, nullptr},           {"do2", kDo2, true, nullptr},
    {"input", kInput, false, nullptr},      {"trigger", kTrigger, false, nullptr},
    {"tune", kTune, false, nullptr},
};

}  // namespace pin
}  // namespace kiv
