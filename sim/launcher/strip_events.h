// SPDX-License-Identifier: MIT
// The strip stand-in's reports, as a person reads them. The stand-in sends
// text lines:
//   init <result> <freq> <dmanum> <gpionum> <count> <strip_type> <brightness>
//   render <count> <rrggbb>...   (the colour each LED shows)
//   fini | fault <text>
// A render becomes a row of blocks in the LEDs' colours (with terminal
// colours) followed by the colours in hexadecimal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "event.h"

namespace kivsim {

// The environment variable that hands the strip's socket path to the stand-in.
constexpr const char* kStripSocketVariable = "KIV_SIM_STRIP_SOCKET";

struct StripState {
  std::vector<uint32_t> leds;  // the colours of the last render
  int renders = 0;
  int faults = 0;
};

// Turns one report line into the text shown and records its effect in
// `state`. `colour` adds the terminal's 24-bit colour blocks. Lines that
// follow no known form are shown quoted as unknown.
std::string describe_strip_report(const std::string& line, StripState& state, bool colour);

// The kind of event a report line names by its first word (init, render,
// fini, fault), kUnknown for any other.
EventKind strip_report_kind(const std::string& line);

}  // namespace kivsim
