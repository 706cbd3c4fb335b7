// SPDX-License-Identifier: MIT
// The board's GPIO lines by role (SoC numbering), for showing and naming them.
#pragma once

#include <string>

namespace kivsim {

// The role of `pin` ("DO1", "laser", "input", ...), or "" for a pin without one.
const char* pin_role(int pin);
// "DO1 (22)" for a pin with a role, "pin 5" for one without.
std::string pin_label(int pin);
// True for the three lines the device reads (input, trigger, tune).
bool is_input_pin(int pin);
// Reads a pin number (0..63) or a role name, in any case ("input", "do1",
// "scan-a"). Returns the pin, or -1 for text that names none.
int parse_pin(const std::string& text);
// The pins with a role, in the board's order, ending with -1.
const int* known_pins();

}  // namespace kivsim
