// SPDX-License-Identifier: MIT
#include "i2c_wave.h"

#include <algorithm>

namespace kivsim {

// A bit takes four quarters: SDA set in the first, SCL high for the middle two.
void I2cWave::bit(uint32_t level) {
  sda(level);
  quarter();
  scl(1);
  quarter();
  quarter();
  scl(0);
  quarter();
}

void I2cWave::byte(unsigned value, bool ack) {
  for (int i = 7; i >= 0; --i)
    bit((value >> i) & 1);
  bit(ack ? 0 : 1);
}

void I2cWave::transfer(int64_t time_ns, const std::vector<BusMessage>& messages) {
  if (messages.empty())
    return;
  now_ = std::max(now_, time_ns);
  // Start: SDA falls while SCL is high.
  sda(0);
  quarter();
  scl(0);
  quarter();
  for (size_t m = 0; m < messages.size(); ++m) {
    const BusMessage& msg = messages[m];
    if (m > 0) {
      // A repeated start: SDA up while SCL is low, SCL up, SDA falls.
      sda(1);
      quarter();
      scl(1);
      quarter();
      sda(0);
      quarter();
      scl(0);
      quarter();
    }
    const bool address_refused = msg.nack && msg.bytes.empty();
    byte(static_cast<unsigned>((msg.addr & 0x7F) << 1 | (msg.read ? 1 : 0)), !address_refused);
    for (size_t i = 0; i < msg.bytes.size(); ++i) {
      const bool last = i + 1 == msg.bytes.size();
      // Written bytes are acknowledged by the controller (the last not, when
      // it refused it); read ones by the master, all but the last.
      const bool ack = msg.read ? !last : !(last && msg.nack);
      byte(static_cast<unsigned char>(msg.bytes[i]), ack);
    }
    if (msg.nack)
      break;
  }
  // Stop: SDA rises while SCL is high.
  sda(0);
  quarter();
  scl(1);
  quarter();
  sda(1);
  quarter();
  file_.extend_to(now_);
}

void I2cWave::stuck(int64_t time_ns, bool stuck) {
  now_ = std::max(now_, time_ns);
  sda(stuck ? 0 : 1);
  quarter();
}

}  // namespace kivsim
