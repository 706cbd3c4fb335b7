// SPDX-License-Identifier: MIT
// Where the liquid lens controller sits and how its registers are laid out.
#pragma once

#include <cstddef>

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

// Transfers of any length at a register, for service tools: `len` bytes
// (1 to kMaxRawBytes) written after the register's two bytes as one
// message, or read after them as one combined request (`out` left untouched
// when it fails). Return 0, or 1 after the library's failure line, errno
// saying why (EINVAL for a length out of range).
constexpr size_t kMaxRawBytes = 256;
int write_registers(int reg, const unsigned char* data, size_t len);
int read_registers(int reg, unsigned char* out, size_t len);

}  // namespace lens
}  // namespace kiv
