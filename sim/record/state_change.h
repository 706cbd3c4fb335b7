// SPDX-License-Identifier: MIT
// What one event changed in the device's state (device_state.h): the fields
// it set and their new values. Each event carries its change, so that the
// trace, the view and the scenario checker all take the state from the one
// fold instead of reading it from the events themselves.
#pragma once

#include <cstdint>
#include <vector>

namespace kivsim {

// The fields of the device's state, each a number (booleans 0 or 1).
enum class StateField {
  kOutput,  // per pin: the level the program last wrote
  kInput,   // per pin: the level the program was given (a command that
            // reached it) or read
  // the light controller
  kChannels,  // channels 1..4 on, as bits 0..3
  kWorkMode,
  kLightOn,
  kFlashCount,
  kFlashTime,
  kBrightness,
  kFlashes,
  kFrames,  // frames it received
  // the lens controller and its bus
  kLensValue,
  kVTemp,
  kBusPresent,
  kBusStuck,
  kBusAnswering,
  // the strip
  kLeds,  // the colours of the last render (StateChange::leds)
  kRenders,
  kStripFaults,
  // the program
  kStarted,
  kEnded,
  kExitStatus,
  // counts
  kEdgesRaised,  // edges that reached the program
  kHandlersRun,  // interrupt handlers it started
  kReportsLost,  // GPIO reports the launcher was too slow to take
  kCom1Bytes,    // bytes it wrote on com1
};

struct FieldChange {
  StateField field;
  int pin = -1;  // kOutput, kInput
  long value = 0;
};

struct StateChange {
  std::vector<FieldChange> fields;  // in the order they were set
  std::vector<uint32_t> leds;       // with kLeds: 0xRRGGBB per LED
  bool empty() const { return fields.empty(); }
  // The change of `field` (of `pin`, for a line), or null.
  const FieldChange* find(StateField field, int pin = -1) const {
    for (const FieldChange& f : fields)
      if (f.field == field && f.pin == pin)
        return &f;
    return nullptr;
  }
};

}  // namespace kivsim
