// SPDX-License-Identifier: MIT
// Internal: the write behind WriteSerialPort and the light controller's
// paced wrapper.
#pragma once

namespace kiv::serial {

struct WriteQueue;

// Admits writers to a slot opened (or reopened) on `fd` at `baud`.
void open_to_writers(WriteQueue& queue, int fd, int baud, int bits_per_char);
// Admits no more writers and ends the waits of those in the queue.
void close_to_writers(WriteQueue& queue);
// Waits until the last writer has left the queue.
void wait_for_writers_gone(WriteQueue& queue);

// Writes `len` bytes to slot `index` in its writers' turn. When `pause_after`
// is given, it is asked for a pause in milliseconds once the bytes are out (or
// the write failed); a positive pause is waited out before the call returns,
// holding the turn so that no other writer's bytes follow sooner. Returns 0
// when all bytes were written, -1 otherwise.
int write_port(char* data, int len, int index, int (*pause_after)());

}  // namespace kiv::serial
