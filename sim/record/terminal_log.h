// SPDX-License-Identifier: MIT
// The reader of the event stream that shows it in the terminal, one line per
// event: the time since the program started, a mark, a short source tag and
// the text:
//   "  0.013  gpio  do1 (22) -> 1"
//   "  0.020~ com2  <- 39 2D 01 0D 0A   light on"
// The mark "~" says that the time is when the launcher read the event (it
// happened at or before it, so its place among events a few milliseconds
// apart is not exact); an event that came after later ones had been shown
// says so at its end.
#pragma once

#include <cstdio>
#include <string>

#include "event_stream.h"

namespace kivsim {

class TerminalLog {
 public:
  // `colour` shows the strip's LEDs as coloured blocks.
  TerminalLog(FILE* out, bool colour) : out_(out), colour_(colour) {}
  // Prints the event's line and flushes it, so the order holds in a pipe too.
  void show(const Event& event);
  // The line without its newline.
  std::string format(const Event& event) const;

 private:
  FILE* out_;
  bool colour_;
};

}  // namespace kivsim
