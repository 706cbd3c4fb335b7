// SPDX-License-Identifier: MIT
// Internal: the write behind WriteSerialPort and the light controller's
// paced wrapper.
#pragma once

namespace kiv::serial {

// Writes `len` bytes to slot `index` in its writers' turn. When `pause_after`
// is given, it is asked for a pause in milliseconds once the bytes are out (or
// the write failed); a positive pause is waited out before the call returns,
// holding the turn so that no other writer's bytes follow sooner. Returns 0
// when all bytes were written, -1 otherwise.
int write_port(char* data, int len, int index, int (*pause_after)());

}  // namespace kiv::serial
