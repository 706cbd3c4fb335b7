// SPDX-License-Identifier: MIT
// Internal: how the reader hands what one read returned to the slot's
// callback, and what it hands it to.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "kiv_serial.h"
#include "threads/guarded_registration.h"

namespace kiv::serial {

constexpr int kReadSize = 1024;  // the most one read asks for; the hand-over buffer's size

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

// Copies the `len` bytes one read left at `read` (1 to kReadSize) into
// `handover`, which holds kReadSize + 1 bytes, with a zero byte behind them:
// the read's buffer may be the application's, which it may change or free
// once the read is over.
void take_chunk(char* handover, const char* read, size_t len);

// Hands the chunk that take_chunk made to the registered callback: a data
// callback gets every byte and the count, a string callback the chunk up to
// its first zero byte.
void hand_over(GuardedRegistration<ReadRegistration>& reception, char* chunk, ssize_t len);

}  // namespace kiv::serial
