// SPDX-License-Identifier: MIT
// Simulated board: stops the stand-in's threads when the process exits.
// Internal.
#pragma once

namespace kivsim {
namespace gpio {
namespace detail {

// Registers stop_all with atexit, once. Called when the first thread starts,
// so it runs before the static destructors of everything set up earlier
// (which a running handler may still use).
void stop_at_exit();

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
