// SPDX-License-Identifier: MIT
// Internal: the table of the two serial port slots and what the service's
// functions share about them. Not exported.
#pragma once

#include <pthread.h>
#include <termios.h>

#include <atomic>

#include "kiv_serial.h"

namespace kiv::serial {

constexpr int kSlotCount = 2;
constexpr int kPathCapacity = 100;  // path characters including the terminating zero
constexpr int kReadSize = 1024;     // the most one read asks for; the hand-over buffer's size
constexpr int kWritePiece = 4096;   // the most one write request carries
constexpr int kPollIntervalMs = 500;

// The reader thread of a slot. Only the control functions (open, register,
// close) touch `thread`, `joinable` and `wake_fd`; `stop` and `finished` are
// shared with the thread.
struct ReaderThread {
  pthread_t thread;
  bool joinable;  // started and not joined yet
  // eventfd polled beside the port, so a close wakes the reader at once
  // instead of waiting out its poll interval.
  int wake_fd;
  std::atomic<bool> stop;      // asks the reader to end at its next pass
  std::atomic<bool> finished;  // set by the reader as its last act
  // The port descriptor the reader is polling or reading, -1 outside those
  // calls (in its callback among others). A reopen closes the descriptor it
  // replaces only once the reader is off it.
  std::atomic<int> port_in_use;
  // The registered buffer a read is filling, null outside reads. A new
  // registration returns only once no read fills the buffer it replaced.
  std::atomic<char*> buffer_in_use;
};

struct SerialPortSlot {
  char path[kPathCapacity];  // empty: the slot is free
  // > 0: the open port. 0 (never opened) and -1 (closed) both mean no port.
  std::atomic<int> fd;
  ReaderThread reader;
  std::atomic<SerialReadCallback> callback;
  // The registered buffer and its size must be seen as one pair by the reader
  // (a new buffer with an old, larger size would overrun it): they are written
  // under a sequence count, odd while a registration is being written.
  std::atomic<unsigned> registration_seq;
  std::atomic<char*> buffer;
  std::atomic<int> buffer_size;
  // Line speed and bits per character of the open port, for the write bound.
  std::atomic<int> baud;
  std::atomic<int> bits_per_char;
  termios saved;  // the port's settings before this slot opened it
};

extern SerialPortSlot serial_ports[kSlotCount];
extern char serial_rx_buffers[kSlotCount][kReadSize];

inline bool valid_index(int index) {
  return index == 0 || index == 1;
}

// Stores a registration's buffer and size as one pair.
void publish_read_buffer(SerialPortSlot& slot, char* buffer, int size);
// Takes the buffer and size last published, as one pair.
void take_read_buffer(SerialPortSlot& slot, char** buffer, int* size);

}  // namespace kiv::serial
