// SPDX-License-Identifier: MIT
// What the GPIO library needs to know the board before its set-up.
#pragma once

namespace kiv {

// Whether WiringPi's set-up can identify the board: the device tree's
// "/proc/device-tree/system/linux,revision" opens, or "/proc/cpuinfo" has a
// line beginning with "Revision". Where neither holds, WiringPi's set-up ends
// the whole process with status 1 instead of returning a failure; this check
// is never stricter than WiringPi's own, so a board it knows is never refused.
bool gpio_board_identifiable();

}  // namespace kiv
