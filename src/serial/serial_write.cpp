// SPDX-License-Identifier: MIT
// Writing to a port: WriteSerialPort.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "serial/serial_messages.h"
#include "serial/serial_slot.h"

namespace kiv::serial {
namespace {

using Clock = std::chrono::steady_clock;

// How long the line may stay without taking a byte before the write fails:
// twice the transmission time of what is left, plus 100 ms.
Clock::duration blocked_bound(const SerialPortSlot& slot, int64_t bytes_left) {
  const int64_t baud = std::max(1, slot.baud.load());
  const int64_t bits = std::max(1, slot.bits_per_char.load());
  const int64_t ms = 2 * bytes_left * bits * 1000 / baud + 100;
  return std::chrono::milliseconds(ms);
}

// Writes one piece. The descriptor is non-blocking, so a line whose buffer is
// full takes part of it or nothing: wait for room and go on, as long as the
// line takes bytes within the bound.
bool write_piece(const SerialPortSlot& slot, int fd, const char* data, int count,
                 int64_t bytes_left) {
  int done = 0;
  Clock::time_point deadline = Clock::now() + blocked_bound(slot, bytes_left);
  while (done < count) {
    const ssize_t n = write(fd, data + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int>(n);
      bytes_left -= n;
      deadline = Clock::now() + blocked_bound(slot, bytes_left);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
      return false;

    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
      return false;
    pollfd p{fd, POLLOUT, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count() + 1, INT32_MAX)));
    if (ready < 0 && errno != EINTR)
      return false;
    if (ready > 0 && (p.revents & POLLOUT) == 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      return false;
    }
  }
  return true;
}

}  // namespace
}  // namespace kiv::serial

using namespace kiv::serial;

int WriteSerialPort(char* data, int len, int index) {
  if (!valid_index(index))
    return -1;
  const SerialPortSlot& slot = serial_ports[index];
  const int fd = slot.fd.load();
  if (fd <= 0) {
    std::puts(msg::kWriteError);
    return -1;
  }
  if (len < 0 || (len > 0 && data == nullptr))
    return -1;
  for (int sent = 0; sent < len;) {
    const int piece = std::min(kWritePiece, len - sent);
    if (!write_piece(slot, fd, data + sent, piece, len - sent))
      return -1;
    sent += piece;
  }
  return 0;
}
