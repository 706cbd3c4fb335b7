// SPDX-License-Identifier: MIT
// Simulated board: the liquid lens controller, an I2C device at 0x18 with a
// file of 64 registers of 4 bytes each (the lens value at register 0, low byte
// first; VTemp at register 40).
//
// A write message carries a 16-bit register address, high byte first, then
// data bytes stored into that register's word (past its 4 bytes, into the
// following registers). A write of the address alone sets where the next
// read starts. A read returns the word bytes from there on, and 0xFF past the
// last register, as an idle bus reads. An address outside the file is not
// acknowledged. Not thread-safe: the bus that carries it serialises access.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kivsim {

class LensController {
 public:
  using Word = std::array<uint8_t, 4>;
  static constexpr uint16_t kAddress = 0x18;
  static constexpr int kRegisters = 64;
  static constexpr int kWordBytes = 4;
  static constexpr int kLensRegister = 0;
  static constexpr int kVTempRegister = 40;

  // Whether it acknowledges its address; a controller told to stop answering
  // leaves every transfer to it unacknowledged.
  bool answering() const { return answering_; }
  void set_answering(bool answering) { answering_ = answering; }

  // Takes the bytes of one write message. False when the register address is
  // outside the file (not acknowledged); nothing is stored then.
  bool write(const uint8_t* bytes, size_t len);
  // Fills one read message from the register last addressed.
  void read(uint8_t* out, size_t len);

  // A register's word (all 0xFF outside the file); set_word returns false
  // outside the file.
  Word word(int reg) const;
  bool set_word(int reg, const Word& word);
  // The lens value, bytes 0 and 1 of register 0, low byte first.
  int lens_value() const { return regs_[0][0] + 256 * regs_[0][1]; }

  // Back to registers of zeros, the read position at 0, answering.
  void reset();

 private:
  static bool in_file(int reg) { return reg >= 0 && reg < kRegisters; }
  uint8_t byte_at(size_t offset) const;
  Word regs_[kRegisters] = {};
  int pointer_ = 0;
  bool answering_ = true;
};

// "lens 1000 (E8 03 00 00), VTemp 1 (01 00 00 00)": the registers the device
// uses, and any other register that is not all zero.
std::string describe_registers(const LensController& lens);

}  // namespace kivsim
