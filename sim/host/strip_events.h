// SPDX-License-Identifier: MIT
// The strip stand-in's reports (sim/link/strip_wire.h) as events of the run.
#pragma once

#include <cstdint>
#include <string>

#include "event.h"

namespace kivsim {

// Reads one report line into `event`: its kind, the fields of its kind
// (result of init, leds of render) and the text a person reads (the terminal
// log adds the LEDs in colour). A line of no known form is of kind kUnknown,
// shown quoted. Returns the CLOCK_MONOTONIC time the line carries, or
// link::kNoTime.
int64_t read_strip_report(const std::string& line, Event& event);

}  // namespace kivsim
