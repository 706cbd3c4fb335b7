// SPDX-License-Identifier: MIT
// Internal: starting, stopping and joining a slot's reader thread.
#pragma once

#include "serial/serial_slot.h"

namespace kiv::serial {

// Starts the reader of slot `index` with its wake descriptor. False when
// either cannot be created; nothing is left behind then.
bool start_reader(int index);

// True when the caller runs on the slot's reader thread (inside its callback).
bool on_reader_thread(const SerialPortSlot& slot);

// Asks the slot's reader to end and joins it. Called from the reader's own
// callback, it only asks: the reader ends once the callback returns and is
// joined later by reap_reader.
void stop_reader(SerialPortSlot& slot);

// Joins a reader that was asked to end from its own callback, unless the
// caller is that reader.
void reap_reader(SerialPortSlot& slot);

// Closes `old_fd`, which a reopen has just replaced in the slot, once the
// slot's reader no longer polls or reads it. Waits at most for the reader to
// wake from its poll or finish a read, never for its callback.
void retire_descriptor(SerialPortSlot& slot, int old_fd);

// Returns once no read of the slot's reader fills `buffer`, which a new
// registration has just replaced.
void wait_buffer_released(const SerialPortSlot& slot, const char* buffer);

// Ends and joins every reader: the library's shutdown.
void stop_all_readers();

}  // namespace kiv::serial
