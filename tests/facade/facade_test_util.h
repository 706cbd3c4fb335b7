// SPDX-License-Identifier: MIT
// Helpers of the facade tests: the simulated GPIO log as text.
#pragma once

#include <string>

#include "wiringPi_sim.h"

namespace kivtest {

// The logged GPIO calls other than reads and delays, as "mode 22 1, write 22
// 1, pull 17 1, isr 17 3 0, ..." (setup: "setup <result>").
inline std::string gpio_calls_text() {
  using kivsim::gpio::CallKind;
  std::string out;
  for (const auto& c : kivsim::gpio::calls()) {
    std::string item;
    switch (c.kind) {
      case CallKind::Setup:
        item = "setup " + std::to_string(c.result);
        break;
      case CallKind::Mode:
        item = "mode " + std::to_string(c.pin) + " " + std::to_string(c.value);
        break;
      case CallKind::Pull:
        item = "pull " + std::to_string(c.pin) + " " + std::to_string(c.value);
        break;
      case CallKind::Write:
        item = "write " + std::to_string(c.pin) + " " + std::to_string(c.value);
        break;
      case CallKind::Isr:
        item = "isr " + std::to_string(c.pin) + " " + std::to_string(c.value) + " " +
               std::to_string(c.result);
        break;
      default:
        continue;
    }
    out += out.empty() ? item : ", " + item;
  }
  return out;
}

// Occurrences of `needle` in `text`.
inline int count_of(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
    ++n;
  return n;
}

}  // namespace kivtest
