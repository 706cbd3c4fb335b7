// SPDX-License-Identifier: MIT
// Writing to a port, for WriteSerialPort and the paced write of the light
// controller's wrapper. Writers of one port take turns for whole blocks,
// under their port's own lock, which no other port's writers or reader take.
#include "serial/port_writer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>

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

ssize_t write_once(int fd, const char* data, int count) {
  ssize_t n;
  do {
    n = write(fd, data, static_cast<size_t>(count));
  } while (n < 0 && errno == EINTR);
  return n;
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

// One call's write: admitted while the port is open, then in the queue of
// its port's writers until the block is out and any pause it holds is over.
class PortWriter {
 public:
  // Admits the writer and, when no writer is ahead and no pause is to be
  // held, writes the block at once: a write the line takes whole is done
  // under one lock, without a turn in the queue. The descriptor is
  // non-blocking, so holding the port's writers' lock across that one write
  // costs the writers of this port no more than a turn would, and keeps the
  // block and the turn one step. Otherwise the writer joins the queue, with
  // what the line took so far.
  PortWriter(WriteQueue& queue, const char* data, int len, bool hold_turn) : queue_(queue) {
    std::lock_guard<std::mutex> lock(queue_.mutex);
    if (!queue_.open)
      return;
    fd_ = queue_.fd;
    bound_ = queue_.bound;
    if (len < 0 || (len > 0 && data == nullptr))
      return;  // admitted, refused: nothing to queue for
    if (queue_.head == nullptr) {
      if (!hold_turn && len <= kWritePiece) {
        const ssize_t n = len > 0 ? write_once(fd_, data, len) : 0;
        if (n == len || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
          succeeded_ = n == len;
          return;
        }
        if (n > 0) {
          sent_ = static_cast<int>(n);
          progressed_ = true;
        }
      }
      // The turn at once. Nobody waits yet, so the clock is read only when
      // someone needs the time: a writer coming behind (see wait_for_turn),
      // or this one when the line takes nothing.
      queue_.head = &turn_;
      queue_.progress_at = Clock::time_point{};
      has_turn_ = true;
    } else {
      queue_.tail->next = &turn_;
    }
    queue_.tail = &turn_;
    queued_ = true;
  }
  ~PortWriter() {
    if (!queued_)
      return;
    std::lock_guard<std::mutex> lock(queue_.mutex);
    const bool had_turn = queue_.head == &turn_;
    unlink_turn(queue_, &turn_);
    // A block written whole hands the next writer a fresh stall clock; after
    // a failure the next one measures from the line's last progress.
    if (had_turn && succeeded_ && queue_.head != nullptr)
      queue_.progress_at = Clock::now();
    // The next writer takes the turn; a close waits for the last to leave.
    if ((queue_.head != nullptr && had_turn) || (queue_.head == nullptr && !queue_.open))
      queue_.turn_passed.notify_all();
  }
  PortWriter(const PortWriter&) = delete;
  PortWriter& operator=(const PortWriter&) = delete;

  bool admitted() const { return fd_ >= 0; }
  bool succeeded() const { return succeeded_; }

  // Waits for the turn and writes the rest of the block. False when the
  // block was refused, the port is closed meanwhile, or the line takes
  // nothing for the bound.
  bool finish(const char* data, int len) {
    if (succeeded_)
      return true;
    if (!queued_)
      return false;
    return wait_for_turn() && write_block(data, len);
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
    std::unique_lock<std::mutex> lock(queue_.mutex);
    if (succeeded_)
      queue_.progress_at = end;
    queue_.turn_passed.wait_until(lock, end, [&] { return !queue_.open; });
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) + 1 : 0;
  }

 private:
  // Waits until this writer is at the head of the queue.
  bool wait_for_turn() {
    if (has_turn_)
      return true;
    std::unique_lock<std::mutex> lock(queue_.mutex);
    for (;;) {
      if (!queue_.open)
        return false;
      // A head that took its turn at once left the time unread: it began
      // about now, as far as the writers behind are concerned.
      if (queue_.progress_at == Clock::time_point{})
        queue_.progress_at = Clock::now();
      // The writer ahead's progress moves the deadline on.
      deadline_ = queue_.progress_at + bound_;
      if (queue_.head == &turn_)
        return has_turn_ = true;
      if (Clock::now() >= deadline_)
        return false;
      queue_.turn_passed.wait_until(lock, deadline_);
    }
  }

  // Writes the rest of the block in pieces of at most kWritePiece bytes.
  bool write_block(const char* data, int len) {
    while (sent_ < len) {
      const int piece = std::min(kWritePiece, len - sent_);
      // Between pieces too, a close that has begun ends the write.
      if ((sent_ > 0 && !report_progress()) || !write_piece(data + sent_, piece))
        return false;
      sent_ += piece;
    }
    succeeded_ = true;
    return true;
  }

  // Publishes when the line last took bytes, for the writers waiting behind.
  // False once a close has begun: the write gives up.
  bool report_progress() {
    refresh_deadline();
    std::lock_guard<std::mutex> lock(queue_.mutex);
    queue_.progress_at = deadline_ - bound_;
    return queue_.open;
  }

  // Writes one piece. The descriptor is non-blocking, so a line whose buffer
  // is full takes part of it or nothing: wait for room and go on, as long as
  // the line takes bytes within the bound.
  bool write_piece(const char* data, int count) {
    int done = 0;
    while (done < count) {
      const ssize_t n = write_once(fd_, data + done, count - done);
      if (n > 0) {
        done += static_cast<int>(n);
        progressed_ = true;
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        return false;
      refresh_deadline();
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

  // The line gives up once it has taken nothing for the bound: from the last
  // bytes it took, or from the start of this writer's turn. Read from the
  // clock only when needed, so that a write the line takes at once reads no
  // clock at all.
  void refresh_deadline() {
    if (progressed_ || deadline_ == Clock::time_point{})
      deadline_ = Clock::now() + bound_;
    progressed_ = false;
  }

  WriteQueue& queue_;
  WriteTurn turn_;
  int fd_ = -1;
  Clock::duration bound_{};
  Clock::time_point deadline_{};
  int sent_ = 0;
  bool queued_ = false;
  bool has_turn_ = false;
  bool progressed_ = false;  // bytes taken since the deadline was last set
  bool succeeded_ = false;
};

}  // namespace

void open_to_writers(WriteQueue& queue, int fd, int baud, int bits_per_char) {
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.fd = fd;
  queue.bound = blocked_bound(baud, bits_per_char);
  queue.open = true;
}

void close_to_writers(WriteQueue& queue) {
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.open = false;
  queue.turn_passed.notify_all();
}

void wait_for_writers_gone(WriteQueue& queue) {
  std::unique_lock<std::mutex> lock(queue.mutex);
  queue.turn_passed.wait(lock, [&] { return queue.head == nullptr; });
}

int write_port(WriteQueue& queue, char* data, int len, int (*pause_after)()) {
  // The pause is known before the write, so that a write with none to hold
  // takes its turn and leaves it in one step.
  const int pause = pause_after != nullptr ? pause_after() : 0;
  bool written = false;
  int pause_left = 0;
  {
    PortWriter writer(queue, data, len, pause > 0);
    if (writer.admitted())
      written = writer.finish(data, len);
    else
      std::puts(msg::kWriteError);
    if (pause > 0)
      pause_left = writer.admitted() ? writer.pause_in_turn(pause) : pause;
  }
  if (!written)
    queue.failed.fetch_add(1, std::memory_order_relaxed);
  if (pause_left > 0)
    pause_ms(pause_left);
  return written ? 0 : -1;
}

}  // namespace kiv::serial
