// SPDX-License-Identifier: MIT
#include "lens_controller.h"

#include <cstdio>

namespace kivsim {

bool LensController::write(const uint8_t* bytes, size_t len) {
  if (len < 2)
    return true;  // an address byte without its partner addresses nothing
  const int reg = bytes[0] << 8 | bytes[1];
  if (!in_file(reg))
    return false;
  pointer_ = reg;
  const size_t room = static_cast<size_t>(kRegisters - reg) * kWordBytes;
  for (size_t i = 0; i + 2 < len && i < room; ++i)
    regs_[static_cast<size_t>(reg) + i / kWordBytes][i % kWordBytes] = bytes[i + 2];
  return true;
}

void LensController::read(uint8_t* out, size_t len) {
  for (size_t i = 0; i < len; ++i)
    out[i] = byte_at(static_cast<size_t>(pointer_) * kWordBytes + i);
}

uint8_t LensController::byte_at(size_t offset) const {
  if (offset >= static_cast<size_t>(kRegisters) * kWordBytes)
    return 0xFF;
  return regs_[offset / kWordBytes][offset % kWordBytes];
}

LensController::Word LensController::word(int reg) const {
  if (!in_file(reg))
    return Word{0xFF, 0xFF, 0xFF, 0xFF};
  return regs_[reg];
}

bool LensController::set_word(int reg, const Word& word) {
  if (!in_file(reg))
    return false;
  regs_[reg] = word;
  return true;
}

void LensController::reset() {
  for (Word& w : regs_)
    w = Word{};
  pointer_ = 0;
  answering_ = true;
}

std::string describe_registers(const LensController& lens) {
  std::string out;
  char text[64];
  for (int reg = 0; reg < LensController::kRegisters; ++reg) {
    const LensController::Word w = lens.word(reg);
    const bool used = reg == LensController::kLensRegister || reg == LensController::kVTempRegister;
    if (!used && w == LensController::Word{})
      continue;
    const char* name = reg == LensController::kLensRegister    ? "lens"
                       : reg == LensController::kVTempRegister ? "VTemp"
                                                               : nullptr;
    const unsigned value = reg == LensController::kLensRegister
                               ? static_cast<unsigned>(w[0] + 256 * w[1])
                               : static_cast<unsigned>(w[0]);
    if (name)
      std::snprintf(text, sizeof text, "%s %u (%02X %02X %02X %02X)", name, value, w[0], w[1], w[2],
                    w[3]);
    else
      std::snprintf(text, sizeof text, "register %d (%02X %02X %02X %02X)", reg, w[0], w[1], w[2],
                    w[3]);
    out += out.empty() ? text : std::string(", ") + text;
  }
  return out;
}

}  // namespace kivsim
