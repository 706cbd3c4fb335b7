// SPDX-License-Identifier: MIT
// Simulated strip: reports of the rpi_ws281x stand-in to another process over
// the Unix stream socket named by KIV_SIM_STRIP_SOCKET. Internal.
//
// One text line per call, for the channel that drives LEDs (channel 1 when its
// count is above 0, else channel 0), after "@<ns> ", the CLOCK_MONOTONIC time
// of the call in nanoseconds:
//   "init <result> <freq> <dmanum> <gpionum> <count> <strip_type> <brightness>"
//   "render <count> <rrggbb> ..."  the colour each LED shows, after brightness
//                                  and gamma, in hexadecimal
//   "fini"                         "fault <text>"
#pragma once

namespace kivsim {
namespace strip {
namespace detail {

// Connects to the socket named by KIV_SIM_STRIP_SOCKET, once; does nothing
// when it is unset.
void remote_connect();
// Sends one report line. Cheap when not connected; a failed or slow send turns
// reporting off for good, so the caller is never held for long.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace detail
}  // namespace strip
}  // namespace kivsim
