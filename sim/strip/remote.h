// SPDX-License-Identifier: MIT
// Simulated strip: reports of the rpi_ws281x stand-in to another process over
// the Unix stream socket named by KIV_SIM_STRIP_SOCKET, in the messages of
// sim/link/strip_wire.h, through the reporter of sim/link/reporter.h.
// Internal.
#pragma once

#include <cstdint>
#include <string_view>

#include "strip_wire.h"

namespace kivsim {
namespace strip {
namespace detail {

// Connects to the socket named by KIV_SIM_STRIP_SOCKET, once; does nothing
// when it is unset.
void remote_connect();
// Each sends one report, stamped now, without waiting for the launcher;
// cheap when not connected. Init, fini and render are kept for the catch-up
// after lost reports.
void report_init(const link::StripInit& init);
void report_render(const uint32_t* leds, int count);
void report_fini();
void report_fault(std::string_view text);
// Sends what is left within a bound and ends reporting (at exit, and before
// a crash ends the process).
void remote_stop();

}  // namespace detail
}  // namespace strip
}  // namespace kivsim
