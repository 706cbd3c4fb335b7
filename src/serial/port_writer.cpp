// SPDX-License-Identifier: MIT
// Writing to a port: WriteSerialPort, and the paced write of the light
// controller's wrapper. Writers of one port take turns for whole blocks.
#include "serial/port_writer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "serial/port_table.h"
#include "serial/serial_messages.h"

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

// Sleeps the whole pause, however long the configuration makes it.
void pause_ms(int ms) {
  timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

void unlink_turn(WriteQueue& queue, WriteTurn* turn) {
  WriteTurn* previous = nullptr;
  for (WriteTurn* at = queue.head; at != nullptr; previous = at, at = at->next) {
    if (at != turn)
      continue;
    (previous ? previous->next : queue.head) = at->next;
    if (queue.tail == at)
      queue.tail = previous;
    return;
  }
}

// A writer on a slot: in the slot's queue from its construction to its end,
// so that a close waits for it before freeing the number, and the next writer
// waits for it to finish its block.
class PortWriter {
 public:
  PortWriter(SerialTable& table, SerialPortSlot& slot) : table_(table), slot_(slot) {
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(table_.mutex);
    if (slot_.state != SlotState::kOpen)
      return;
    WriteQueue& queue = slot_.writes;
    if (queue.head == nullptr) {
      queue.head = &turn_;
      queue.progress_at = now;
    } else {
      queue.tail->next = &turn_;
    }
    queue.tail = &turn_;
    fd_ = slot_.fd;
    bound_ = blocked_bound(slot_.baud, slot_.bits_per_char);
  }
  ~PortWriter() {
    if (fd_ < 0)
      return;
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(table_.mutex);
    WriteQueue& queue = slot_.writes;
    const bool had_turn = queue.head == &turn_;
    unlink_turn(queue, &turn_);
    // A block written whole hands the next writer a fresh stall clock; after
    // a failure the next one measures from the line's last progress.
    if (had_turn && succeeded_)
      queue.progress_at = now;
    if (queue.head != nullptr) {
      if (had_turn)
        queue.turn_passed.notify_all();
    } else if (slot_.state == SlotState::kClosing) {
      table_.changed.notify_all();
    }
  }
  PortWriter(const PortWriter&) = delete;
  PortWriter& operator=(const PortWriter&) = delete;

  bool admitted() const { return fd_ >= 0; }

  // Waits until this writer is at the head of the queue. False when the port
  // is closed meanwhile or the line takes nothing for the bound.
  bool wait_for_turn() {
    std::unique_lock<std::mutex> lock(table_.mutex);
    WriteQueue& queue = slot_.writes;
    for (;;) {
      if (slot_.state != SlotState::kOpen)
        return false;
      // The writer ahead's progress moves the deadline on.
      deadline_ = queue.progress_at + bound_;
      if (queue.head == &turn_)
        return has_turn_ = true;
      if (Clock::now() >= deadline_)
        return false;
      queue.turn_passed.wait_until(lock, deadline_);
    }
  }

  // Writes the block in pieces of at most kWritePiece bytes.
  bool write_block(const char* data, int len) {
    for (int sent = 0; sent < len;) {
      const int piece = std::min(kWritePiece, len - sent);
      // Between pieces too, a close that has begun ends the write.
      if ((sent > 0 && !report_progress()) || !write_piece(data + sent, piece))
        return false;
      sent += piece;
    }
    succeeded_ = true;
    return true;
  }

  // Holds the turn through the pause after the block, so that the next
  // writer's bytes follow only after it; after a block written whole, the
  // writers behind do not count the pause as a stall of the line. A close
  // ends the hold at once. Returns what is left of the pause then, or all of
  // it when this writer never had the turn: the caller waits it out after
  // leaving the queue.
  int pause_in_turn(int ms) {
    if (!has_turn_)
      return ms;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(table_.mutex);
    if (succeeded_)
      slot_.writes.progress_at = end;
    slot_.writes.turn_passed.wait_until(lock, end, [&] { return slot_.state != SlotState::kOpen; });
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) + 1 : 0;
  }

 private:
  // Publishes when the line last took bytes, for the writers waiting behind.
  // False once a close has begun: the write gives up.
  bool report_progress() const {
    std::lock_guard<std::mutex> lock(table_.mutex);
    slot_.writes.progress_at = deadline_ - bound_;
    return slot_.state == SlotState::kOpen;
  }

  // Writes one piece. The descriptor is non-blocking, so a line whose buffer
  // is full takes part of it or nothing: wait for room and go on, as long as
  // the line takes bytes within the bound.
  bool write_piece(const char* data, int count) {
    int done = 0;
    while (done < count) {
      const ssize_t n = write(fd_, data + done, static_cast<size_t>(count - done));
      if (n > 0) {
        done += static_cast<int>(n);
        deadline_ = Clock::now() + bound_;
        continue;
      }
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        return false;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
      if (left.count() <= 0 || !report_progress())
        return false;
      pollfd p{fd_, POLLOUT, 0};
      const int slice = static_cast<int>(std::min<int64_t>(left.count() + 1, kRoomWaitSliceMs));
      const int ready = poll(&p, 1, slice);
      if (ready < 0 && errno != EINTR)
        return false;
      if (ready > 0 && (p.revents & POLLOUT) == 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
        return false;
    }
    return true;
  }

  SerialTable& table_;
  SerialPortSlot& slot_;
  WriteTurn turn_;
  int fd_ = -1;
  Clock::duration bound_{};
  Clock::time_point deadline_{};
  bool has_turn_ = false;
  bool succeeded_ = false;
};

}  // namespace

int write_port(char* data, int len, int index, int (*pause_after)()) {
  if (!valid_index(index))
    return -1;
  SerialTable& table = serial_table();
  bool written = false;
  int pause_left = 0;
  {
    PortWriter writer(table, table.slots[index]);
    if (writer.admitted()) {
      const bool valid = len >= 0 && (len == 0 || data != nullptr);
      written = valid && writer.wait_for_turn() && writer.write_block(data, len);
    } else {
      std::puts(msg::kWriteError);
    }
    const int pause = pause_after != nullptr ? pause_after() : 0;
    if (pause > 0)
      pause_left = writer.admitted() ? writer.pause_in_turn(pause) : pause;
  }
  if (pause_left > 0)
    pause_ms(pause_left);
  return written ? 0 : -1;
}

}  // namespace kiv::serial

int WriteSerialPort(char* data, int len, int index) {
  return kiv::serial::write_port(data, len, index, nullptr);
}
