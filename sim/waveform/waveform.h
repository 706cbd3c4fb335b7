// SPDX-License-Identifier: MIT
// A run's events as the signals of the board, in a Value Change Dump that
// logic-analyser programs (PulseView, GTKWave) open:
//   gpio   every line of the board map as a wire named by its line ("laser",
//          "trigger", ...): an output at the levels the program wrote, an
//          input at the levels that reached the program; pins without a name
//          as "pin5" once the program uses them;
//   com1, com2   each direction as a UART waveform at the port's settings:
//          "com1_tx" what the program wrote, "com1_rx" what it was sent;
//   i2c    the lens controller's bus, "scl" and "sda";
//   strip  "led0" to "led8", each LED's 0xRRGGBB;
//   light  the light controller: "light_on", "channels" (1 to 4 as bits 0 to
//          3), "work_mode", "brightness", "flash_count", "flash_time";
//   lens   "lens_value" and "vtemp".
// Levels and values come from the state each event changed (the fold of
// device_state.h), so the waveform shows what the trace, the view and the
// scenario checker see. The strip's data line is drawn as its colours.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "board_map.h"
#include "event.h"
#include "i2c_wave.h"
#include "uart_wave.h"
#include "vcd_file.h"

namespace kivsim {

class Waveform {
 public:
  static constexpr size_t kLeds = 9;

  Waveform();
  // Takes the run's events in the record's order.
  void see(const Event& event);
  // Writes the dump; `wires_only` as VcdFile::write.
  bool write(std::FILE* out, bool wires_only) const { return file_.write(out, wires_only); }

 private:
  void see_changes(const Event& event);
  int pin_var(int pin, bool input);
  VcdFile file_;
  std::array<int, kBoardPins> pins_;  // a variable per pin, -1 for none yet
  std::array<bool, kBoardPins> input_pin_{};
  std::unique_ptr<UartWave> com_[2][2];  // [port][0 tx, 1 rx]
  std::unique_ptr<I2cWave> bus_;
  std::array<int, kLeds> leds_{};
  int channels_, work_mode_, light_on_, brightness_, flash_count_, flash_time_;
  int lens_value_, vtemp_;
};

}  // namespace kivsim
