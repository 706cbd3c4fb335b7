// SPDX-License-Identifier: MIT
// The lines that close a run: what the program did to the board's lines and
// devices, from the record's state and the devices' own counts.
#include "board_run_internal.h"
#include "led_text.h"

namespace kivsim {

void BoardRun::show_summary() {
  // The summary is of every event: the ones still held go out first.
  log_.stream().flush();
  const DeviceState state = log_.stream().state();
  log_.line("outputs: " + outputs_summary(state));
  const LightControllerState& light = com2_.state();
  log_.line("com2: " + std::to_string(light.frames) + " frames received (" +
            std::to_string(light.unknown_frames) +
            " unknown); com1: " + std::to_string(state.com1_bytes) + " bytes received");
  log_.line("light controller: " + describe_light_state(light));
  log_.line("gpio: " + std::to_string(state.edges_raised) + " edges raised, " +
            std::to_string(state.handlers_run) + " handlers run" +
            (state.reports_lost > 0 ? ", " + std::to_string(state.reports_lost) +
                                          " reports lost (counts may be short; levels are right)"
                                    : std::string()));
  if (state.renders > 0 || state.strip_faults > 0)
    log_.line("strip: " + std::to_string(state.renders) + " renders, last " +
              strip_colours_text(state.leds) +
              (state.strip_faults ? ", " + std::to_string(state.strip_faults) + " FAULTS" : ""));
  log_.line("i2c: " + s_.lens->summary());
}

}  // namespace kivsim
