// SPDX-License-Identifier: MIT
// The GPIO stand-in's reports (sim/link/gpio_wire.h) as events of the run:
// modes (0 INPUT, 1 OUTPUT), pulls (0 off, 1 down, 2 up) and edge types by
// name, lines by their name on the board ("do1 (22)").
#pragma once

#include <cstdint>
#include <string>

#include "event.h"

namespace kivsim {

// Reads one report line (without its newline) into `event`: its kind, the
// fields of its kind (pin, level, result) and the text a person reads. A line
// of no known form is of kind kUnknown, shown quoted. Returns the
// CLOCK_MONOTONIC time the line carries, or link::kNoTime.
int64_t read_gpio_report(const std::string& line, Event& event);

// The text shown for an edge or level command to the stand-in.
std::string describe_gpio_command(bool edge, int pin, int level);

}  // namespace kivsim
