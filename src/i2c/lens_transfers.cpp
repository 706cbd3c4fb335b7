// SPDX-License-Identifier: MIT
// The I2C transfers to the liquid lens controller: one request per call, on a
// descriptor opened and closed within the call.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "i2c/i2c_messages.h"
#include "i2c/lens_i2c.h"
#include "kiv_i2c.h"

namespace {

using namespace kiv;

void report_failure(int error) {
  std::printf(i2c::msg::kLiquidFailure, lens::kBusDevice, std::strerror(error));
}

// Opens the bus, issues one I2C_RDWR request of `count` messages and closes
// the bus. Returns 0, or 1 after reporting why it failed (errno says it too).
int transfer(i2c_msg* messages, unsigned count) {
  // Close-on-exec: a child started meanwhile by another thread gets no bus.
  const int fd = open(lens::kBusDevice, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    report_failure(error);
    errno = error;
    return 1;
  }
  i2c_rdwr_ioctl_data request = {messages, count};
  const int result = ioctl(fd, I2C_RDWR, &request);
  const int error = errno;
  if (result < 0)
    report_failure(error);
  close(fd);
  // The transfer's error is the one that matters, not the close's.
  errno = error;
  return result < 0 ? 1 : 0;
}

// No buffer: the kernel would refuse it as a bad address, so it is refused
// the same way before the bus.
int refuse_missing_buffer() {
  report_failure(EFAULT);
  errno = EFAULT;
  return 1;
}

// A length the request cannot carry (or a read of nothing).
int refuse_length() {
  report_failure(EINVAL);
  errno = EINVAL;
  return 1;
}

void put_register(int reg, unsigned char* out) {
  out[0] = static_cast<unsigned char>((reg >> 8) & 0xFF);
  out[1] = static_cast<unsigned char>(reg & 0xFF);
}

}  // namespace

int setLiquidLens(int reg, unsigned char* data) {
  if (!data)
    return refuse_missing_buffer();
  unsigned char frame[2 + lens::kWordBytes];
  put_register(reg, frame);
  std::memcpy(frame + 2, data, lens::kWordBytes);
  i2c_msg message = {lens::kAddress, 0, sizeof frame, frame};
  return transfer(&message, 1);
}

int getLiquidLens(int reg, unsigned char* out) {
  if (!out)
    return refuse_missing_buffer();
  unsigned char address[2];
  put_register(reg, address);
  // Received into a buffer of our own, so a failed read leaves `out` as it was.
  unsigned char word[lens::kWordBytes] = {};
  i2c_msg messages[2] = {
      {lens::kAddress, 0, sizeof address, address},
      {lens::kAddress, I2C_M_RD, sizeof word, word},
  };
  const int result = transfer(messages, 2);
  if (result == 0)
    std::memcpy(out, word, sizeof word);
  return result;
}

namespace kiv {
namespace lens {

int write_registers(int reg, const unsigned char* data, size_t len) {
  if (!data)
    return refuse_missing_buffer();
  if (len > kMaxRawBytes)
    return refuse_length();
  unsigned char frame[2 + kMaxRawBytes];
  put_register(reg, frame);
  std::memcpy(frame + 2, data, len);
  i2c_msg message = {kAddress, 0, static_cast<__u16>(2 + len), frame};
  return transfer(&message, 1);
}

int read_registers(int reg, unsigned char* out, size_t len) {
  if (!out)
    return refuse_missing_buffer();
  if (len == 0 || len > kMaxRawBytes)
    return refuse_length();
  unsigned char address[2];
  put_register(reg, address);
  unsigned char bytes[kMaxRawBytes];
  i2c_msg messages[2] = {
      {kAddress, 0, sizeof address, address},
      {kAddress, I2C_M_RD, static_cast<__u16>(len), bytes},
  };
  const int result = transfer(messages, 2);
  if (result == 0)
    std::memcpy(out, bytes, len);
  return result;
}

}  // namespace lens
}  // namespace kiv
