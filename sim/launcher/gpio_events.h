// SPDX-License-Identifier: MIT
// The GPIO stand-in's reports, as a person reads them, and the board state
// they add up to. The stand-in sends text lines:
//   setup <result> | mode <pin> <0 INPUT|1 OUTPUT> | pull <pin> <0 off|1 down|2 up>
//   write <pin> <level> | isr <pin> <edge> <result> | read <pin> <level>
//   handler-start <pin> | handler-end <pin>
//   lost <count>, then written <pin> <level> for every line written: reports
//   the launcher was too slow to take, and the levels the lines have now
// and takes "edge <pin> <level>" and "level <pin> <level>" from the launcher.
#pragma once

#include <string>

#include "event_stream.h"

namespace kivsim {

struct BoardState {
  static constexpr int kPins = 64;
  int mode[kPins];    // -1 until reported
  int output[kPins];  // last level written, -1 until written
  int input[kPins];   // last level set by the launcher or read by the program, -1 unknown
  int edges_raised = 0;
  int handlers_run = 0;
  long reports_lost = 0;
  BoardState();
};

// Turns one report line (without its newline) into the text shown, and
// records its effect in `state`. Lines that follow no known form are shown
// quoted as unknown.
std::string describe_gpio_report(const std::string& line, BoardState& state);

// Sets the kind (kUnknown for a line of no known form), pin, level and
// result of `event` from one report line (see event_stream.h).
void fill_gpio_fields(const std::string& line, Event& event);

// The text shown for an edge or level command to the stand-in.
std::string describe_gpio_command(bool edge, int pin, int level);
// Records in `state` a command that reached the stand-in.
void record_gpio_command(bool edge, int pin, int level, BoardState& state);

// "DO1 (22)=1 DO2 (27)=1 laser (13)=0 ..." for every line written, the
// board's outputs first; "none written" when there is none.
std::string output_summary(const BoardState& state);

}  // namespace kivsim
