// SPDX-License-Identifier: MIT
// Internal: how the reader hands what one read returned to the slot's
// callback.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "serial/port_table.h"

namespace kiv::serial {

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
