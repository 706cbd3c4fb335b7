// SPDX-License-Identifier: MIT
// Internal: one line at a time, for a caller that must leave every other line
// as it is (kivctl). setup() moves them all.
#pragma once

namespace kiv {

// The GPIO library set up, after the board check that keeps its set-up from
// ending the process. False, with nothing touched, where the check or the
// set-up fails.
bool gpio_ready();

// Drives `pin` at `level` as an output. The level goes to the line's output
// latch first and only then does the line become an output, so a line that
// was an input starts at `level` without a pulse at the other one. Call after
// gpio_ready().
void drive_output(int pin, int level);

}  // namespace kiv
