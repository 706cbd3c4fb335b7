// SPDX-License-Identifier: MIT
// A port this process holds already (a shell's set-up, the light
// controller's port), opened again with other settings for one command and
// given its own back after it, so that the next command, or the library's
// light calls, find the line as it was.
#pragma once

#include <string>

#include "port/line_settings.h"

namespace kivctl {

class HeldPortSettings {
 public:
  // Opens `path`, held in `slot`, again with `line`'s settings.
  HeldPortSettings(const std::string& path, int slot, const LineSettings& line);
  // Opens it again with the settings it had.
  ~HeldPortSettings();
  HeldPortSettings(const HeldPortSettings&) = delete;
  HeldPortSettings& operator=(const HeldPortSettings&) = delete;
  // The slot, or -1 when it could not be opened with them.
  int slot() const { return slot_; }

 private:
  std::string path_;
  LineSettings before_;
  int slot_;
};

}  // namespace kivctl
