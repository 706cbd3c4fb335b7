// SPDX-License-Identifier: MIT
// The GPIO stand-in's link, both directions, as typed messages and the text
// lines that carry them. The stand-in (sim/gpio) encodes reports and decodes
// commands; the launcher the other way round.
//
// Reports, each after the source time "@<ns> ":
//   setup <result> | mode <pin> <mode> | pull <pin> <pud>
//   write <pin> <level> | read <pin> <level> | isr <pin> <edge> <result>
//   handler-start <pin> | handler-end <pin>
//   lost <count>, then written <pin> <level> for every line written and
//   mode <pin> <mode> for every line whose mode was set: the reports the
//   launcher was too slow to take, and the levels and modes the lines have
//   when the catch-up is made
// Commands: edge <pin> <level> | level <pin> <level>
//
// The hand-over: the lines on the board outlive a program, so the launcher
// hands each stand-in that connects the board's lines as it knows them, as
// commands, before any other:
//   level <pin> <level>   a level an outside driver holds on the line (from
//                         the launcher's edge and level commands)
//   latch <pin> <level>   the line's output latch (the level last written)
//   pull <pin> <pud>      the line's pull (0 off, 1 down, 2 up)
//   mode <pin> <mode>     the line's mode (0 INPUT, 1 OUTPUT); an output
//                         drives its latch's level
// then "handed-over", the marker that it is complete. Set-up waits for the
// marker (within a bound, or until the launcher hangs up) so that a
// program's first read sees the board's levels; what comes after the wait
// ended is ignored, never applied under a running program. A stand-in takes the hand-over silently:
// it is the board's state, not calls of the program, and is not reported back. A stand-in of an
// older make ignores the lines it does not know.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "wire_words.h"

namespace kivsim {
namespace link {

// The lines of the board, as the stand-in numbers them.
constexpr int kGpioPins = 64;
// Longest line either end writes, with its time and newline.
constexpr size_t kGpioMaxLine = 96;

enum class GpioReportKind {
  kSetup,         // result
  kMode,          // pin, value: the mode
  kPull,          // pin, value: the pull
  kWrite,         // pin, value: the level
  kRead,          // pin, value: the level
  kIsr,           // pin, value: the edge type, result
  kHandlerStart,  // pin
  kHandlerEnd,    // pin
  kLost,          // count
  kWritten,       // pin, value: the level
};

struct GpioReport {
  GpioReportKind kind = GpioReportKind::kSetup;
  int pin = 0;
  int value = 0;
  int result = 0;
  long long count = 0;
  int64_t time_ns = kNoTime;  // CLOCK_MONOTONIC where the call happened
};

// Writes the report's line (with its time, when it has one, and newline) at
// `out`; returns its length, 0 when it does not fit.
size_t encode(const GpioReport& report, char* out, size_t room);
// Reads one line (without its newline). False for a line of no known form or
// with a number out of range.
bool decode(std::string_view line, GpioReport& report);

enum class GpioCommandKind {
  kEdge,        // pin, level
  kLevel,       // pin, level
  kLatch,       // pin, level
  kMode,        // pin, mode
  kHandedOver,  // nothing
  kPull,        // pin, level: the pull (0 off, 1 down, 2 up)
};

struct GpioCommand {
  GpioCommandKind kind = GpioCommandKind::kEdge;
  int pin = 0;
  int level = 0;
  int mode = 0;  // 0 INPUT, 1 OUTPUT
};

// The command's line, without its newline.
std::string encode(const GpioCommand& command);
bool decode(std::string_view line, GpioCommand& command);

}  // namespace link
}  // namespace kivsim
