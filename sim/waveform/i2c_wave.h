// SPDX-License-Identifier: MIT
// The lens controller's bus drawn as SCL and SDA at 100 kHz (standard mode):
// for each transfer a start, each message's address with its direction and
// acknowledge, its bytes each with theirs (the receiver of a read answers
// the last byte with a NACK, as a master does), a repeated start between
// messages and a stop at the end. A message that was not acknowledged ends
// the transfer with its NACK and the stop. A stuck bus holds SDA low.
#pragma once

#include <cstdint>
#include <vector>

#include "event.h"
#include "vcd_file.h"

namespace kivsim {

class I2cWave {
 public:
  static constexpr int64_t kQuarterNs = 2500;  // a quarter of a 10 us clock

  I2cWave(VcdFile& file, int scl, int sda) : file_(file), scl_(scl), sda_(sda) {}

  // Draws the messages a transfer put on the bus at `time_ns`, or right
  // after the transfer before it where that was still on the bus.
  void transfer(int64_t time_ns, const std::vector<BusMessage>& messages);
  // The bus is stuck (a device holds SDA low) or free again.
  void stuck(int64_t time_ns, bool stuck);

 private:
  void sda(uint32_t level) { file_.change(now_, sda_, level); }
  void scl(uint32_t level) { file_.change(now_, scl_, level); }
  void quarter() { now_ += kQuarterNs; }
  void bit(uint32_t level);
  void byte(unsigned value, bool ack);
  VcdFile& file_;
  const int scl_, sda_;
  int64_t now_ = 0;  // the drawing's time: the bus is free from here
};

}  // namespace kivsim
