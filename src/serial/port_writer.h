// SPDX-License-Identifier: MIT
// Internal: a port's writers. They take turns for whole writes in a queue of
// their own, under a lock no other port's writers or reader take.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kiv::serial {

constexpr int kWritePiece = 4096;  // the most one write request carries

// A writer's place in its port's queue; it lives on the writer's stack.
struct WriteTurn {
  WriteTurn* next = nullptr;
};

// The writers of a port, in the order they came; the head has the turn.
// Guarded by its own mutex, which writers take instead of the port table's,
// so that the writers of one port never wait for another port's open, close,
// registration or reader. An open and a close take it after the table's.
struct WriteQueue {
  std::mutex mutex;
  // Writers are admitted: the slot is open on `fd`, whose line fails a
  // write that takes nothing for `bound`.
  bool open = false;
  int fd = -1;
  std::chrono::steady_clock::duration bound{};
  WriteTurn* head = nullptr;
  WriteTurn* tail = nullptr;
  // Where a stall of the line is measured from: when the head took its turn,
  // when the line last took bytes of it, or the end of the pause it holds. A
  // waiting writer gives up once the line has taken nothing for its bound.
  // Zero while nobody has needed it since a head took its turn at once.
  std::chrono::steady_clock::time_point progress_at{};
  // Signalled when the turn passes, when a close begins, and when the last
  // writer of a closing port leaves.
  std::condition_variable turn_passed;
  // Writes that failed, counted for a caller of calls that return no write
  // result (kivctl); touched only when a write fails.
  std::atomic<unsigned> failed{0};
};

// Admits writers to a port opened (or reopened) on `fd` at `baud`.
void open_to_writers(WriteQueue& queue, int fd, int baud, int bits_per_char);
// Admits no more writers and ends the waits of those in the queue.
void close_to_writers(WriteQueue& queue);
// Waits until the last writer has left the queue.
void wait_for_writers_gone(WriteQueue& queue);

// Writes `len` bytes to the port of `queue` in its writers' turn. When
// `pause_after` is given, it is asked for a pause in milliseconds once the
// bytes are out (or the write failed); a positive pause is waited out before
// the call returns, holding the turn so that no other writer's bytes follow
// sooner. Returns 0 when all bytes were written, -1 otherwise.
int write_port(WriteQueue& queue, char* data, int len, int (*pause_after)());

}  // namespace kiv::serial
