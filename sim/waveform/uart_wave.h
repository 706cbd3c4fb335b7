// SPDX-License-Identifier: MIT
// One direction of a serial line drawn as a UART waveform: each byte a frame
// of a start bit, the data bits (least significant first), the parity bit
// and the stop bits at the line's baud rate, idle high between frames.
//
// The launcher reads a port's bytes as they come, often many at once, and
// stamps them when it read them. A byte is drawn from that time, or, where
// the line was still carrying the bytes before it, right after them: bytes
// closer together than the line could carry them are laid out back to back,
// and a note in the file's header says so.
#pragma once

#include <cstdint>
#include <string>

#include "event.h"
#include "vcd_file.h"

namespace kivsim {

class UartWave {
 public:
  // `label` names the direction in the file's comments ("com1_tx").
  UartWave(VcdFile& file, int var, std::string label)
      : file_(file), var_(var), label_(std::move(label)) {}

  // Draws `bytes` read at `time_ns` at `line`'s settings (115200 8N1 where
  // the settings are not known).
  void add(int64_t time_ns, const std::string& bytes, SerialLine line);

 private:
  VcdFile& file_;
  const int var_;
  const std::string label_;
  int64_t free_at_ns_ = 0;  // when the line has carried what it was given
  bool told_default_ = false;
};

}  // namespace kivsim
