// SPDX-License-Identifier: MIT
// Commands for a run from elsewhere than the script or the terminal (the
// browser view). The run takes them on its loop thread.
#pragma once

#include "commands.h"

namespace kivsim {

class CommandSource {
 public:
  virtual ~CommandSource() = default;
  // A descriptor that turns readable while commands wait, or -1.
  virtual int command_fd() const = 0;
  // Takes the next waiting command; false when none waits.
  virtual bool take_command(Command& cmd) = 0;
};

}  // namespace kivsim
