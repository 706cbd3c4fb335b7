// SPDX-License-Identifier: MIT
// Internal: the body of a slot's reader thread (see reader_thread.h for its
// start and end).
#pragma once

namespace kiv::serial {

// Reads the slot that `arg` names (reader_start_of) until its reader is asked
// to end or taken for joining, handing each chunk to the slot's callback.
void* read_slot(void* arg);

}  // namespace kiv::serial
