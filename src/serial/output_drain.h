// SPDX-License-Identifier: MIT
// Internal: letting output already accepted leave a line before it is
// discarded.
#pragma once

namespace kiv::serial {

// Waits until the line's output queue counts no byte, for at most the time the
// bytes counted at the start take on the wire at `baud` with `bits_per_char`,
// plus 100 ms. Never waits without a bound, unlike tcdrain. True when nothing
// is counted any more (also for a descriptor whose queue cannot be read),
// false when bytes are still counted after the bound.
bool wait_for_output_sent(int fd, int baud, int bits_per_char);

// The same, at the speed and character size currently set on the line.
bool wait_for_output_sent(int fd);

// Discards received input, and output only when `output_left` (bytes were
// still counted after the wait): on a pseudo-terminal, discarding output
// removes bytes the peer has not read yet, though the queue counts none.
void discard_pending(int fd, bool output_left);

}  // namespace kiv::serial
