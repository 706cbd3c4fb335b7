// SPDX-License-Identifier: MIT
// kivctl doctor --active: the device exercised, for commissioning.
#include <unistd.h>

#include <string>

#include "doctor/checks.h"

namespace kivctl {
namespace {

// How long the light stays on for a person to see it.
constexpr useconds_t kLightOnUs = 500 * 1000;

}  // namespace

Check check_light_active(Device& device) {
  Check c{"light"};
  kiv::KivIo& io = device.io();
  if (io.setWorkMode(5) != 0) {
    c.fail(Verdict::kFailure, "the light controller's port /dev/com2 cannot be written",
           "check the light controller's cable and /dev/com2");
    return c;
  }
  io.open_light();
  usleep(kLightOnUs);
  io.close_light();
  c.summary = "work mode 5, light on, light off: every frame written to /dev/com2";
  return c;
}

Check check_lens_active(Device& device) {
  Check c{"lens-rw"};
  kiv::KivIo& io = device.io();
  int value = io.getLiquid();
  if (value < 0) {
    c.fail(Verdict::kFailure, "the lens cannot be read", "see the lens check");
    return c;
  }
  if (io.setLiquid(value) != 0) {
    c.fail(Verdict::kFailure, "the lens value " + std::to_string(value) + " cannot be written back",
           value > 46000 ? "the lens holds a value the library does not set; set one with kivctl "
                           "lens set"
                         : "check the lens controller");
    return c;
  }
  int again = io.getLiquid();
  if (again != value) {
    c.fail(Verdict::kFailure,
           "the lens read back " + std::to_string(again) + " after a write of " +
               std::to_string(value),
           "check the lens controller");
    return c;
  }
  c.summary = "the lens value " + std::to_string(value) + " written and read back";
  return c;
}

}  // namespace kivctl
