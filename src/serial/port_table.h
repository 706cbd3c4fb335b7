// SPDX-License-Identifier: MIT
// Internal: the table of the two serial port slots and the one lock that
// keeps each slot's state consistent. Not exported. The table uses a port's
// writers (port_writer.h) and its reader thread (reader_thread.h); neither
// knows the table.
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
#include "serial/chunk_handover.h"
#include "serial/port_writer.h"
#include "serial/reader_thread.h"
#include "threads/guarded_registration.h"

namespace kiv::serial {

constexpr int kSlotCount = 2;
constexpr int kPathCapacity = 100;  // path characters including the terminating zero
constexpr int kPollIntervalMs = 500;

enum class SlotState {
  kFree,     // no port
  kOpen,     // the port is on `fd`
  kClosing,  // a close is ending the reader and waiting for the writers
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

// Waits, with the table's lock let go, until the close of `slot` under way
// has finished, unless its closer is waiting for the caller (see
// threads/wait_graph.h). False when the wait is refused.
bool wait_for_close(SerialTable& table, SerialPortSlot& slot, std::unique_lock<std::mutex>& lock);

// The slot that holds `path` open, or -1: for a caller that names ports by
// path (kivctl), since a missing first port moves the second into slot 0.
int slot_holding(const char* path);

// Opens `path` at `baud`, 8N1, into slot `index` only, as SerialPortInit
// does into the first free slot: for a caller that opens one port where the
// library's wrappers write (kivctl, the light controller's port in slot 1).
// Returns `index`, or -1 when the port cannot be opened or the slot holds
// another port.
int open_port_in_slot(char* path, int baud, int index);

// The body of a slot's reader thread (slot_reading.cpp): reads the slot that
// `arg` names (reader_start_of) until its reader is asked to end or taken for
// joining, handing each chunk to the slot's callback.
void* read_slot(void* arg);

inline bool valid_index(int index) {
  return index == 0 || index == 1;
}

// Writes to slot `index` that failed so far (a caller compares two counts):
// for calls that return no write result, such as the light's switches.
inline unsigned failed_writes(int index) {
  return valid_index(index)
             ? serial_table().slots[index].writes.failed.load(std::memory_order_relaxed)
             : 0;
}

}  // namespace kiv::serial
