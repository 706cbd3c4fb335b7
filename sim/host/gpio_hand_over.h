// SPDX-License-Identifier: MIT
// The board's GPIO lines as the launcher knows them, handed to each GPIO
// stand-in that connects (sim/link/gpio_wire.h). On the board a line keeps
// its mode and level when a program ends, and a level the launcher sets on
// an input holds whether or not a program is there to see it: the next
// program finds them. Taken from the run's events: the programs' modes,
// writes and catch-up levels, and the launcher's edge and level commands,
// whether they reached a stand-in or not.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "event.h"
#include "gpio_wire.h"

namespace kivsim {

class GpioHandOver {
 public:
  // Takes what `event` says of a line; other events change nothing.
  void see(const Event& event);
  // The hand-over's lines, each with its newline, the marker last.
  std::string wire_text() const;
  // What it holds, for a person: "laser (13): output, latch 1; input (17):
  // held at 1"; "" when it knows no line.
  std::string summary() const;
  // The levels (pin, level) that the launcher set while no stand-in was
  // connected, which no program has seen yet; handed over, they are no
  // longer.
  std::vector<std::pair<int, int>> take_unseen();

 private:
  struct Line {
    int mode = -1;        // 0 INPUT, 1 OUTPUT, -1 unknown
    int latch = -1;       // the level last written, -1 none
    int pull = -1;        // the pull last set (0 off, 1 down, 2 up), -1 none
    int held = -1;        // the level the launcher holds on it, -1 none
    bool unseen = false;  // `held` reached no stand-in yet
  };
  std::array<Line, link::kGpioPins> lines_;
};

}  // namespace kivsim
