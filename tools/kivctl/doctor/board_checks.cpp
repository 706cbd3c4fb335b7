// SPDX-License-Identifier: MIT
// The board as the GPIO library and the configuration see it.
#include <cstdio>
#include <string>

#include "config/config_file.h"
#include "config_verdict.h"
#include "doctor/checks.h"
#include "gpio/gpio_board_check.h"
#include "kiv_config.h"

namespace kivctl {
namespace {

// A light controller pause beyond this makes each frame wait long enough to
// look like a hang; the devices need a few milliseconds.
constexpr int kLongestSensiblePauseMs = 1000;

std::string effective_map() {
  std::string out;
  for (int n = 1; n <= 4; ++n)
    out += (n > 1 ? ", " : "") + std::to_string(n) + "->" + std::to_string(firmware_index_v2(n)) +
           (get_value_by_config(n) != 0 ? " (ini)" : "");
  return "sections to channels " + out + "; pause " + std::to_string(firmware_index_v2(5)) + " ms" +
         (get_value_by_config(5) != 0 ? " (ini)" : "");
}

}  // namespace

Check check_board() {
  Check c{"board"};
  c.details.push_back(
      "looked for /proc/device-tree/system/linux,revision and a Revision line "
      "in /proc/cpuinfo");
  if (kiv::gpio_board_identifiable()) {
    c.summary = "the GPIO library can identify the board: setup() can start the lines";
    return c;
  }
  c.fail(Verdict::kFailure,
         "the GPIO library cannot identify the board: setup() prints \"wiringPi setup error\" "
         "and drives no line",
         "run on the device's board, or give the system a device tree revision");
  return c;
}

Check check_config() {
  Check c{"config"};
  const ConfigVerdict v = config_verdict();
  std::string path = kiv_config::kConfigPath;
  if (v.state == "absent") {
    c.summary = std::string(path) + " absent: the board variant decides (" + effective_map() + ")";
    return c;
  }
  if (v.state == "unreadable") {
    c.fail(Verdict::kFailure, path + " cannot be read: the board variant decides",
           "make it readable by this user, or remove it");
    return c;
  }
  c.details.push_back("in force: " + effective_map());
  // Lines the parser takes may still hold values the light cannot use.
  for (int n = 1; n <= 4; ++n) {
    const int channel = firmware_index_v2(n);
    if (get_value_by_config(n) != 0 && (channel < 1 || channel > 4))
      c.fail(Verdict::kWarning,
             path + ": [LIGHT] section_" + std::to_string(n) + " = " + std::to_string(channel) +
                 " names no channel (1 to 4): every 'light section " + std::to_string(n) +
                 "' is refused",
             "give section_" + std::to_string(n) + " a channel from 1 to 4");
  }
  const int pause = firmware_index_v2(5);
  if (get_value_by_config(5) != 0 && pause > kLongestSensiblePauseMs)
    c.fail(Verdict::kWarning,
           path + ": [CMD] timeout_ns = " + std::to_string(pause) +
               " makes every light controller write wait " + std::to_string(pause) +
               " ms (the value is in milliseconds)",
           "give timeout_ns in milliseconds: a few, such as 2");
  // Every refused line is named with what was wrong with it, whatever else
  // was found.
  c.findings = v.refused;
  if (v.state == "too large")
    c.fail(Verdict::kWarning,
           path + " is larger than any configuration: lines past its first MiB were not checked",
           "keep only [LIGHT] section_1..section_4 and [CMD] timeout_ns");
  if (c.verdict != Verdict::kOk)
    return c;
  if (v.refused.empty()) {
    c.summary = path + " parsed: " + effective_map();
    return c;
  }
  c.fail(Verdict::kWarning,
         path + ": " + refused_summary(v) + "; the other lines hold (" + effective_map() +
             "), and the library reads the file again at every lookup",
         "keep only [LIGHT] section_1..section_4 and [CMD] timeout_ns, each at the start of its "
         "line");
  return c;
}

Check check_cpu() {
  Check c{"cpu"};
  bool updated = x_updated_device();
  std::string serial = serial_buf;
  while (!serial.empty() && (serial.back() == '\n' || serial.back() == ' '))
    serial.pop_back();
  std::string variant = updated ? "an updated device: sections 1 and 3 exchanged, 2 ms pause"
                                : "another device: sections as numbered, no pause";
  if (serial.empty()) {
    c.fail(Verdict::kWarning, "no CPU serial number in /proc/cpuinfo: " + variant,
           "check that /proc/cpuinfo has a Serial line; the variant cannot be told without it");
    return c;
  }
  c.summary = "CPU serial " + serial + ": " + variant;
  return c;
}

}  // namespace kivctl
