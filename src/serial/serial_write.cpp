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

// A wait for room looks at the slot again this often, so that a close of the
// port ends the write promptly.
constexpr int kRoomWaitSliceMs = 50;

// How long the line may take nothing before the write fails: twice the
// transmission time of one full piece, plus 100 ms. A full piece is about the
// most a line's own output buffer holds before it makes room, so a healthy
// line always takes something within it, however much of the block is left.
Clock::duration blocked_bound(int baud, int bits_per_char) {
  const int64_t ms =
      2 * int64_t{kWritePiece} * std::max(1, bits_per_char) * 1000 / std::max(1, baud) + 100;
  return std::chrono::milliseconds(ms);
}

// A writer on a slot: counted while it may use the slot's number, so that a
// close waits for it before freeing the number.
class SlotWriter {
 public:
  SlotWriter(SerialTable& table, SerialPortSlot& slot) : table_(table), slot_(slot) {
    std::lock_guard<std::mutex> lock(table_.mutex);
    if (slot_.state != SlotState::kOpen)
      return;
    ++slot_.writers;
    fd_ = slot_.fd;
    bound_ = blocked_bound(slot_.baud, slot_.bits_per_char);
  }
  ~SlotWriter() {
    if (fd_ < 0)
      return;
    std::lock_guard<std::mutex> lock(table_.mutex);
    if (--slot_.writers == 0)
      table_.changed.notify_all();
  }
  SlotWriter(const SlotWriter&) = delete;
  SlotWriter& operator=(const SlotWriter&) = delete;

  bool admitted() const { return fd_ >= 0; }
  // False once a close has begun: the write gives up.
  bool still_open() const {
    std::lock_guard<std::mutex> lock(table_.mutex);
    return slot_.state == SlotState::kOpen;
  }

  // Writes one piece. The descriptor is non-blocking, so a line whose buffer
  // is full takes part of it or nothing: wait for room and go on, as long as
  // the line takes bytes within the bound.
  bool write_piece(const char* data, int count) const {
    int done = 0;
    Clock::time_point deadline = Clock::now() + bound_;
    while (done < count) {
      const ssize_t n = write(fd_, data + done, static_cast<size_t>(count - done));
      if (n > 0) {
        done += static_cast<int>(n);
        deadline = Clock::now() + bound_;
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
      pollfd p{fd_, POLLOUT, 0};
      const int slice = static_cast<int>(std::min<int64_t>(left.count() + 1, kRoomWaitSliceMs));
      const int ready = poll(&p, 1, slice);
      if (ready < 0 && errno != EINTR)
        return false;
      if (ready > 0 && (p.revents & POLLOUT) == 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
        return false;
      if (!still_open())
        return false;
    }
    return true;
  }

 private:
  SerialTable& table_;
  SerialPortSlot& slot_;
  int fd_ = -1;
  Clock::duration bound_{};
};

}  // namespace
}  // namespace kiv::serial

using namespace kiv::serial;

int WriteSerialPort(char* data, int len, int index) {
  if (!valid_index(index))
    return -1;
  SerialTable& table = serial_table();
  const SlotWriter writer(table, table.slots[index]);
  if (!writer.admitted()) {
    std::puts(msg::kWriteError);
    return -1;
  }
  if (len < 0 || (len > 0 && data == nullptr))
    return -1;
  for (int sent = 0; sent < len;) {
    const int piece = std::min(kWritePiece, len - sent);
    // Between pieces too, a close that has begun ends the write.
    if ((sent > 0 && !writer.still_open()) || !writer.write_piece(data + sent, piece))
      return -1;
    sent += piece;
  }
  return 0;
}
