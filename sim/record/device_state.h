// SPDX-License-Identifier: MIT
// The one fold of a run's events into the state of the device: its lines,
// the light controller, the lens controller and its bus, the strip, the
// program, and the counts the launcher's summary gives. The event stream
// folds every event it publishes and hands each out with what it changed;
// the summary, the scenario checker and the view take the state from here.
//
// Lines are judged by what reached the program: an output by what the
// program wrote (a write to a line that is not an output yet goes to its
// latch, which the line drives once it is one), an input by the edges and
// levels the launcher gave it (only those that reached a GPIO stand-in: a
// level given while none is connected is held, and reaches the next one that
// connects as a level event of its own) and what the program read.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "board_map.h"
#include "event.h"
#include "state_change.h"

namespace kivsim {

struct DeviceState {
  std::array<int, kBoardPins> output;  // -1 until written
  std::array<int, kBoardPins> input;   // -1 until given or read
  // The controller's state from its state events; `frames` counts the frames
  // on com2. The frames it could not decode are its own model's to count.
  LightControllerState light;
  int lens_value = 0;
  int vtemp = 0;
  LensBus bus;
  std::vector<uint32_t> leds;  // the colours of the last render
  int renders = 0;
  int strip_faults = 0;
  bool started = false;
  bool ended = false;
  int exit_status = -1;
  long edges_raised = 0;
  long handlers_run = 0;
  long reports_lost = 0;
  long com1_bytes = 0;

  DeviceState() {
    output.fill(-1);
    input.fill(-1);
  }
};

// Folds `event` into `state` and returns what it changed (nothing, for most
// events).
StateChange fold_event(DeviceState& state, const Event& event);

// Sets what `change` holds in `state`: a state rebuilt from the changes of a
// run's events, in their order, is the state the fold reached.
void apply_change(DeviceState& state, const StateChange& change);

// The value of one field (of `pin`, for a line); kLeds gives the LED count.
long field_value(const DeviceState& state, StateField field, int pin = -1);

// "laser (13)=0, alarm (21)=1, do1 (22)=1, ..." for every line written, the
// board's lines first; "none written" when there is none.
std::string outputs_summary(const DeviceState& state);

}  // namespace kivsim
