// SPDX-License-Identifier: MIT
// Where the liquid lens controller sits and how its registers are laid out.
#pragma once

namespace kiv {
namespace lens {

constexpr char kBusDevice[] = "/dev/i2c-5";
constexpr unsigned short kAddress = 0x18;
// Registers: the lens value (low byte first in the data word) and VTemp.
constexpr int kValueRegister = 0;
constexpr int kVTempRegister = 40;
constexpr int kWordBytes = 4;
// Values the lens takes; anything outside is refused before the bus.
constexpr int kMinValue = 0;
constexpr int kMaxValue = 46000;

}  // namespace lens
}  // namespace kiv
