// SPDX-License-Identifier: MIT
// Something that follows a run besides the terminal (the browser view): it
// sees every event line and the device's state, and may hand the run
// commands. All of its functions are called on the launcher's loop thread.
#pragma once

#include <string>

#include "commands.h"
#include "gpio_events.h"
#include "i2c_bus.h"
#include "light_controller.h"
#include "strip_events.h"

namespace kivsim {

// The device as the launcher sees it at one moment; valid during the call only.
struct DeviceSnapshot {
  const BoardState& board;
  const LightControllerState& light;
  const i2c::Bus& bus;
  const StripState& strip;
  bool program_running;
  std::string program_status;  // "exited with 0" and the like once it ended
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // One event as the terminal shows it: seconds since the start, the source
  // tag ("gpio", "com1", ...) and the text.
  virtual void on_event(double seconds, const char* tag, const std::string& text) = 0;
  // The state after the events just shown (called often: compare, then publish).
  virtual void on_state(const DeviceSnapshot& snapshot) = 0;
  // A descriptor that turns readable while commands wait, or -1.
  virtual int command_fd() const = 0;
  // Takes the next waiting command; false when none waits.
  virtual bool take_command(Command& cmd) = 0;
};

}  // namespace kivsim
