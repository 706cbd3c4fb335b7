// SPDX-License-Identifier: MIT
// Simulated board: the launcher's hand-over of the board's lines to the
// stand-in that connects (sim/link/gpio_wire.h). On the board the lines keep
// their modes and levels when a program ends; the launcher remembers them and
// hands them to the next program's stand-in, which takes them into its lines
// silently: they are the board's state, not calls of the program. Internal.
#pragma once

#include <chrono>

#include "gpio_wire.h"

namespace kivsim {
namespace gpio {
namespace detail {

// How long set-up waits for the hand-over: a launcher of an older make sends
// none, and set-up then goes on as the lines are.
constexpr std::chrono::milliseconds kHandOverBound{1000};

// Takes a latch, a mode or the marker that the hand-over is complete. Runs
// on the command thread.
void take_hand_over(const link::GpioCommand& command);
// Waits for the marker, once in the process, at most kHandOverBound or until
// the launcher hangs up; what comes after is ignored.
void await_hand_over();
// The launcher hung up: no marker will come.
void hand_over_ended();

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
