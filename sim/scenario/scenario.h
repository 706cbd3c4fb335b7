// SPDX-License-Identifier: MIT
// A scenario: the device scripted over time around an unmodified program, the
// settings it starts with, and what the program must have done. A JSON file
// (format and example in README, "Scenarios"):
//   {"settings": {"ini": FILE, "cpu_serial": HEX, "strip_init_result": N,
//                 "end": MS, "kernel_cmdline": TEXT, "kernel_modules": [NAME, ...],
//                 "i2c_funcs": N},
//    "actions": [{"at": MS, "do": COMMAND},
//                {"when": EVENT, "delay": MS, "do": COMMAND}, ...],
//    "expect":  [{"at": MS, "line": PIN, "level": 0|1},
//                {"at": MS, "strip": RRGGBB | [RRGGBB, ...]},
//                {"at": MS, "lens": N},
//                {"at": MS, "light": {"light": BOOL, "work_mode": N, ...}},
//                {"by": MS, "com1": TEXT}, {"by": MS, "com2": HEX BYTES},
//                {"by": MS, "com1_match": REGEX},
//                {"after": EVENT, "within": MS, <any of the above but exit>},
//                {"when": EVENT, <any of the above but exit>},
//                {"exit": N}, ...]}
// EVENT: "trigger rises", "laser falls", or an object of one of line (with
// level), com1, com1_match, com2, strip, lens (event_watch.h).
// A command is one of the launcher's commands ("edge trigger 1", "notify",
// "send com1 ...", "lens nack", ...); times are milliseconds from the start.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "event_watch.h"

namespace kivsim {

enum class ExpectKind { kLine, kStrip, kLens, kLight, kCom1, kCom1Match, kCom2, kExit };

struct Expectation {
  std::string where;  // "expect[2]", or its "name" when it has one
  ExpectKind kind = ExpectKind::kExit;
  long ms = 0;                 // "at" for a state, "by" for bytes and frames
  int pin = -1;                // line
  int level = 0;               // line
  std::vector<uint32_t> leds;  // strip; a single colour stands for every LED
  int lens = 0;
  std::vector<std::pair<std::string, int>> light;  // field and value (bools as 0/1)
  std::string bytes;                               // com1 text, com2 frame
  std::shared_ptr<const std::regex> match;         // com1_match
  int exit_status = 0;
  // In place of `ms`: judged at the first occurrence of `when`, or within
  // `within_ms` after each occurrence of `after`.
  std::optional<EventPattern> when, after;
  long within_ms = 0;
  std::string match_text;  // com1_match as written
};

// An action that waits for an event: `command` runs `delay_ms` after the
// first occurrence of `when`, once.
struct WaitingAction {
  EventPattern when;
  long delay_ms = 0;
  Command command;
};

struct Scenario {
  std::string path;
  std::string ini_file;    // "" when not set; relative to the scenario's folder
  std::string cpu_serial;  // lower case, "" when not set
  bool strip_init_set = false;
  int strip_init_result = 0;  // what the strip's start returns
  bool kernel_cmdline_set = false;
  std::string kernel_cmdline;  // the program's "/proc/cmdline"
  bool kernel_modules_set = false;
  std::vector<std::string> kernel_modules;  // the modules loaded (/sys/module)
  long i2c_funcs = -1;                      // what I2C_FUNCS answers, -1 the default
  long end_ms = -1;                         // the program is ended then, -1 never
  std::vector<Command> script;              // the actions, as commands with waits between
  std::vector<WaitingAction> waiting;
  std::vector<Expectation> expectations;
};

// Reads and checks a scenario file. False with `error` naming the file and
// the line (for JSON that does not parse) or the place in it ("expect[2].at")
// and what is wrong, or why it cannot be read (it must be a regular file of at
// most kInputFileLimit bytes).
bool load_scenario(const std::string& path, Scenario& out, std::string& error);

// One line that says what an expectation asks: "line alarm (4) is 1 at 1.200 s",
// "line laser (13) is 1 within 150 ms after trigger rises".
std::string describe_expectation(const Expectation& e);

// The light controller fields an expectation may name.
bool light_field(const std::string& name, const struct LightControllerState& state, int& value);

}  // namespace kivsim
