// SPDX-License-Identifier: MIT
// Internal: the device's three inputs as setup() prepares them, one at a time
// for a caller that touches no other line (kivctl).
#pragma once

namespace kiv {

enum class InputSetup {
  kReady,
  kNotAnInput,  // the pin is none of the device's inputs
  kRefused,     // the GPIO library refused the line's interrupt
};

// Makes `pin` an input pulled down, with its interrupt on both edges calling
// the facade's handler of that input (once per process). Call after the GPIO
// library's set-up.
InputSetup prepare_input(int pin);

}  // namespace kiv
