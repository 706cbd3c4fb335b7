// SPDX-License-Identifier: MIT
// The board's GPIO lines (SoC numbering) and what the device does with each:
// the one map by which the launcher, the view, scenarios, scripts and tests
// name the lines. The library keeps its pins in a header of its own, private
// to it; a test drives every role through the library and checks that the
// two agree.
#pragma once

#include <string>
#include <vector>

namespace kivsim {

// The GPIO lines a board has (0..63).
constexpr int kBoardPins = 64;

enum class LineKind {
  kOutput,  // the library drives it with digitalWrite
  kInput,   // the library takes its edges (an interrupt) and reads it
  kStrip,   // the LED strip's data line, driven by the strip library
};

struct BoardLine {
  int pin;
  const char* role;  // as a person reads it: "DO1", "scan A"
  const char* name;  // one word for commands, scenarios and the view: "do1", "scan-a"
  LineKind kind;
};

// The lines with a role, in the board's order: outputs, inputs, the strip.
const std::vector<BoardLine>& board_lines();
// The line of `pin`; null for a pin without a role.
const BoardLine* board_line(int pin);
// "DO1 (22)" for a pin with a role, "pin 5" for one without.
std::string pin_label(int pin);
// The key of `pin` where lines are listed by name: its line's name ("do1"),
// or the number ("5") for a pin without a role.
std::string pin_key(int pin);
// Reads a pin number (0..63) or a line's name, in any case ("input", "do1",
// "scan-a"). Returns the pin, or -1 for text that names none.
int parse_pin(const std::string& text);
// True for the device's inputs (input, trigger, tune).
bool is_input_pin(int pin);
// True for a line the board itself drives: an output or the strip's.
bool is_driven_pin(int pin);

}  // namespace kivsim
