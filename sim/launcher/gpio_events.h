// SPDX-License-Identifier: MIT
// The GPIO stand-in's reports as events of the run. The stand-in sends text
// lines:
//   setup <result> | mode <pin> <0 INPUT|1 OUTPUT> | pull <pin> <0 off|1 down|2 up>
//   write <pin> <level> | isr <pin> <edge> <result> | read <pin> <level>
//   handler-start <pin> | handler-end <pin>
//   lost <count>, then written <pin> <level> for every line written: reports
//   the launcher was too slow to take, and the levels the lines have now
// and takes "edge <pin> <level>" and "level <pin> <level>" from the launcher.
#pragma once

#include <string>

#include "event.h"

namespace kivsim {

// Reads one report line (without its newline) into `event`: its kind, the
// fields of its kind (pin, level, result) and the text a person reads. A line
// of no known form is of kind kUnknown, shown quoted.
void read_gpio_report(const std::string& line, Event& event);

// The text shown for an edge or level command to the stand-in.
std::string describe_gpio_command(bool edge, int pin, int level);

}  // namespace kivsim
