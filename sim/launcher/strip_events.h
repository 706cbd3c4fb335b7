// SPDX-License-Identifier: MIT
// The strip stand-in's reports as events of the run. The stand-in sends text
// lines:
//   init <result> <freq> <dmanum> <gpionum> <count> <strip_type> <brightness>
//   render <count> <rrggbb>...   (the colour each LED shows)
//   fini | fault <text>
#pragma once

#include <string>

#include "event.h"

namespace kivsim {

// The environment variable that hands the strip's socket path to the stand-in.
constexpr const char* kStripSocketVariable = "KIV_SIM_STRIP_SOCKET";

// Reads one report line into `event`: its kind, the fields of its kind
// (result of init, leds of render) and the text a person reads (the terminal
// log adds the LEDs in colour). A line of no known form is of kind kUnknown,
// shown quoted.
void read_strip_report(const std::string& line, Event& event);

}  // namespace kivsim
