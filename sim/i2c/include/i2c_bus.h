// SPDX-License-Identifier: MIT
// Simulated board: I2C bus 5 as the kernel's i2c-dev driver presents it, with
// the lens controller at 0x18. It carries I2C_RDWR requests by the kernel's
// rules and records every one:
//   - no messages, more than 42, a message longer than 8192 bytes or a read
//     of zero bytes: refused with EINVAL before the bus is touched;
//   - the bus stuck: ETIMEDOUT, nothing reaches the device;
//   - a message to an address where nothing acknowledges (another address, a
//     10-bit address, or the controller told to stop answering), or a
//     register the controller does not have: EREMOTEIO, as the Pi's I2C
//     driver reports a missing acknowledge; messages before it took effect;
//   - the device node removed: ENODEV for descriptors opened before.
// On success the result is the number of messages and each read message
// holds the bytes received. Not thread-safe: its owner serialises calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lens_controller.h"

namespace kivsim {
namespace i2c {

constexpr char kDevicePath[] = "/dev/i2c-5";
// Limits of one I2C_RDWR request in the kernel.
constexpr unsigned kMaxMessages = 42;
constexpr unsigned kMaxMessageBytes = 8192;
// i2c_msg flags the bus looks at.
constexpr uint16_t kFlagRead = 0x0001;
constexpr uint16_t kFlagTenBit = 0x0010;

// One message of a request: for a write the bytes sent; for a read the bytes
// received (empty until the transfer succeeded).
struct Message {
  uint16_t addr = 0;
  uint16_t flags = 0;
  uint16_t len = 0;
  std::vector<uint8_t> data;
  bool is_read() const { return (flags & kFlagRead) != 0; }
};

// One I2C_RDWR request as the bus saw it.
struct Transfer {
  unsigned requested = 0;         // the request's message count
  std::vector<Message> messages;  // as carried (none when the count was refused)
  int result = 0;                 // messages done, or -errno
  // Where a transfer ended unacknowledged (EREMOTEIO): the message, and in
  // it the byte written that was not acknowledged (the second of a register
  // number the controller does not have), or -1 for its address.
  int refused_message = -1;
  int refused_byte = -1;
};

class Bus {
 public:
  // Requests kept; past this the older half is dropped.
  static constexpr size_t kMaxRecorded = 100000;

  // Carries one request of `requested` messages (`messages` holds them unless
  // the count alone is refused). Fills the read messages and returns the
  // number of messages, or -errno.
  int transfer(unsigned requested, std::vector<Message>& messages);

  LensController& lens() { return lens_; }
  const LensController& lens() const { return lens_; }
  // Whether "/dev/i2c-5" exists; opening it fails with ENOENT while not.
  bool present() const { return present_; }
  void set_present(bool present) { present_ = present; }
  // A stuck bus (a device holding SDA low) times every transfer out.
  bool stuck() const { return stuck_; }
  void set_stuck(bool stuck) { stuck_ = stuck; }

  const std::vector<Transfer>& transfers() const { return log_; }
  void clear_transfers() { log_.clear(); }
  // Present, not stuck, the controller reset, no record.
  void reset();

 private:
  int carry(unsigned requested, std::vector<Message>& messages, Transfer& record);
  LensController lens_;
  bool present_ = true;
  bool stuck_ = false;
  std::vector<Transfer> log_;
};

// "write 18 [00 00 E8 03 00 00]", "read 18 [E8 03 00 00]" (4 bytes wanted, not
// yet received: "read 18 (4 bytes)"), flags other than the read flag shown.
std::string describe_message(const Message& m);
// Every message of a transfer and its outcome: "... -> ok" or "-> EREMOTEIO
// (Remote I/O error)".
std::string describe_transfer(const Transfer& t);

}  // namespace i2c
}  // namespace kivsim
