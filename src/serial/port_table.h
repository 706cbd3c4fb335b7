// SPDX-License-Identifier: MIT
// Internal: the table of the two serial port slots and the one lock that
// keeps each slot's state consistent. Not exported.
//
// Every field of a slot but its read registration and its writers' queue is
// read and written under the table's mutex. Open, close and register change
// a slot as one step under it; none of them holds it across a callback, a
// blocking read or poll, or a thread join (they wait on the table's
// condition instead, which lets it go). The reader takes it only for a
// moment around each read, so an open, close or registration of another slot
// never holds it up for long; writers take only their slot's queue lock.
//
// Writers of a slot take turns in the order they came: each waits in the
// slot's queue until it is at the head, and the head writes its whole block
// (and, for the light controller, its pause) before the next one starts.
//
// A slot keeps its descriptor number for as long as it is open: a reopen puts
// the new port on that number with dup2, so a writer or the reader that is
// still on the number always reaches the slot's own port, never a file the
// process opened meanwhile. The number is closed only by a close, once no
// writer and no reader is on it any more (`writers`, and the reader joined or
// being the caller).
#pragma once

#include <pthread.h>
#include <termios.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "kiv_serial.h"
#include "threads/guarded_registration.h"

namespace kiv::serial {

constexpr int kSlotCount = 2;
constexpr int kPathCapacity = 100;  // path characters including the terminating zero
constexpr int kReadSize = 1024;     // the most one read asks for; the hand-over buffer's size
constexpr int kWritePiece = 4096;   // the most one write request carries
constexpr int kPollIntervalMs = 500;

enum class SlotState {
  kFree,     // no port
  kOpen,     // the port is on `fd`
  kClosing,  // a close is ending the reader and waiting for the writers
};

// The reader thread of a slot.
struct ReaderThread {
  pthread_t thread;
  // Started and not yet taken for joining. A reader stays running after a
  // callback closed its own port, until it is joined by the slot's next open
  // or close (or carries on, when that callback reopens the port).
  bool running = false;
  // Asks the reader to end at its next pass; a reopen from the reader's own
  // callback clears it again.
  bool stop = false;
  // Bumped whenever a reader is taken for joining, so that a reader which
  // started a successor from its own callback ends instead of carrying on
  // beside it.
  unsigned generation = 0;
  // eventfd polled beside the port: a close, reopen or registration wakes the
  // reader at once instead of leaving it in its poll interval.
  int wake_fd = -1;
};

// What the reader hands each chunk to: a string callback, or a data callback
// with its user pointer; never both.
struct ReadRegistration {
  SerialReadCallback text = nullptr;
  SerialDataCallback data = nullptr;
  void* user = nullptr;
  bool empty() const { return text == nullptr && data == nullptr; }
  // Whoever unregisters a data callback may free its user pointer at once, so
  // a running call of it is waited for. A string callback keeps the waitless
  // registration it always had.
  bool awaited() const { return data != nullptr; }
};

// A writer's place in its slot's queue; it lives on the writer's stack.
struct WriteTurn {
  WriteTurn* next = nullptr;
};

// The writers of a slot, in the order they came; the head has the turn.
// Guarded by its own mutex, which writers take instead of the table's, so
// that the writers of one port never wait for another port's open, close,
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
  // writer of a closing slot leaves.
  std::condition_variable turn_passed;
};

struct SerialPortSlot {
  SlotState state = SlotState::kFree;
  char path[kPathCapacity] = {};
  int fd = -1;  // the slot's descriptor number while not free
  // The thread closing the slot while it is kClosing: an open or a second
  // close waits for it (see threads/wait_graph.h).
  pthread_t closer{};
  // Writes in progress or waiting for their turn on `fd`: a close waits until
  // the queue is empty.
  WriteQueue writes;
  // The registered buffer a read of the reader is filling, null otherwise. A
  // registration that replaces it waits until the read is over.
  const char* filling = nullptr;
  // Changed only under the table's mutex, so that it changes in one step with
  // the buffer and the slot's state; read and called by the reader through its
  // own lock, which is never held across the callback.
  GuardedRegistration<ReadRegistration> reception;
  char* buffer = nullptr;  // registered buffer, null: the reader's own
  int buffer_size = 0;
  // Line speed and bits per character of the open port, for the write bound.
  int baud = 115200;
  int bits_per_char = 10;
  termios saved = {};  // the line's settings before this slot opened it
  ReaderThread reader;
};

struct SerialTable {
  std::mutex mutex;
  // Signalled when the last writer of a closing slot leaves, a read ends or a
  // close completes.
  std::condition_variable changed;
  SerialPortSlot slots[kSlotCount];
};

// The table; never destroyed, so readers still running at exit find it intact.
SerialTable& serial_table();

inline bool valid_index(int index) {
  return index == 0 || index == 1;
}

}  // namespace kiv::serial
