// SPDX-License-Identifier: MIT
// Internal: every line the I2C transfers print, in one place.
#pragma once

namespace kiv::i2c::msg {

// A failed transfer: printf, with the device path and the reason.
constexpr const char kLiquidFailure[] = "[Liquid] %s: %s\n";

}  // namespace kiv::i2c::msg
