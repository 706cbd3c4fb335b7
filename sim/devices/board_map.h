// SPDX-License-Identifier: MIT
// The board's GPIO lines (SoC numbering) and what the device does with each:
// the one map by which the launcher, the view, scenarios, scripts and tests
// name the lines. Each line has one name, written everywhere (the log, the
// summaries, the trace, the state, the view, the waveform); the library keeps
// its pins in a header of its own, private to it, and a test drives every
// line through the library and checks that the two agree.
#pragma once

#include <optional>
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
  const char* name;  // the one name, a word: "do1", "scan-a"
  // An older spelling still read (in any case), never written: "scan A";
  // null for none.
  const char* older;
  LineKind kind;
};

// The named lines, in the board's order: outputs, inputs, the strip.
const std::vector<BoardLine>& board_lines();
// The line of `pin`; null for a pin without a name.
const BoardLine* board_line(int pin);
// "do1 (22)" for a named pin, "pin 5" for one without a name.
std::string pin_label(int pin);
// The key of `pin` where lines are listed by name: its line's name ("do1"),
// or the number ("5") for a pin without a name.
std::string pin_key(int pin);
// Reads a pin number (0..63), a line's name or its older spelling, in any
// case ("input", "DO1", "scan-a", "scan A"). Returns the pin, or -1 for text
// that names none.
int parse_pin(const std::string& text);
// The names of the lines, in the board's order, joined by ", ": of every
// line, or of the lines of `kind` ("input, trigger, tune").
std::string line_names(std::optional<LineKind> kind = std::nullopt);
// What a message offers where a line is wanted: "laser, alarm, ..., strip,
// or a pin number 0..63" (the lines of `kind` only, when given).
std::string line_choices(std::optional<LineKind> kind = std::nullopt);
// True for the device's inputs (input, trigger, tune).
bool is_input_pin(int pin);
// True for a line the board itself drives: an output or the strip's.
bool is_driven_pin(int pin);

}  // namespace kivsim
