// SPDX-License-Identifier: MIT
// The facade's messages on standard output, all in one place. Those ending in
// "\r" are printed with puts, so their lines end in CR LF.
#pragma once

namespace kiv {
namespace msg {

constexpr const char kCreate[] = "[KIV-IO] create...";
constexpr const char kDelete[] = "[KIV-IO] delete...";
constexpr const char kGpioSetupError[] = "wiringPi setup error\r";
constexpr const char kInterruptRegisterFailure[] = "Interrupt function register failure\r";
constexpr const char kSetupOk[] = "[IO] setup ok!";
// printf: the mode as given and the write result.
constexpr const char kWorkMode[] = "[KIV-IO] Work mode(%d): %d\n";
// printf format, with the state of setRgbLight.
constexpr const char kRgbState[] = "[KIV-IO] RGB: %d\n";

// Liquid lens: the refused lens values (puts). A failed transfer is reported
// by the I2C transfers (i2c/i2c_messages.h).
constexpr const char kLiquidAboveMax[] = "[ERROR] Liquid Max value: 46000";
constexpr const char kLiquidBelowMin[] = "[ERROR] Liquid Min value: 0";

}  // namespace msg
}  // namespace kiv
