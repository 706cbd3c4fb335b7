// SPDX-License-Identifier: MIT
// The strip module's messages, all in one place.
#pragma once

namespace kiv {
namespace strip_msg {

// To standard error with the rpi_ws281x text of the failed result.
constexpr const char kInitFailed[] = "ws2811_init failed: %s\n";
// The demo's lines on standard output.
constexpr const char kDemoInitOk[] = "init ws2811 ok";
constexpr const char kDemoColor[] = "Led color: %d\n";

}  // namespace strip_msg
}  // namespace kiv
