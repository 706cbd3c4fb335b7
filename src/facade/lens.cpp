// SPDX-License-Identifier: MIT
// The liquid lens and VTemp operations of the facade, over the I2C transfers.
#include <cstdio>

#include "facade/messages.h"
#include "i2c/lens_i2c.h"
#include "kiv_i2c.h"
#include "kiv_io.h"

namespace kiv {

int KivIo::setLiquid(int value) {
  // Only the low 16 bits reach the lens: a value outside its range would
  // drive it elsewhere, so it is refused before the bus.
  if (value > lens::kMaxValue) {
    std::puts(msg::kLiquidAboveMax);
    return 1;
  }
  if (value < lens::kMinValue) {
    std::puts(msg::kLiquidBelowMin);
    return 1;
  }
  unsigned char word[lens::kWordBytes] = {static_cast<unsigned char>(value & 0xFF),
                                          static_cast<unsigned char>((value >> 8) & 0xFF), 0, 0};
  return setLiquidLens(lens::kValueRegister, word);
}

int KivIo::getLiquid() {
  unsigned char word[lens::kWordBytes] = {};
  if (getLiquidLens(lens::kValueRegister, word) != 0)
    return -1;
  return word[0] + 256 * word[1];
}

int KivIo::openVTemp() {
  unsigned char word[lens::kWordBytes] = {1, 0, 0, 0};
  return setLiquidLens(lens::kVTempRegister, word);
}

}  // namespace kiv
