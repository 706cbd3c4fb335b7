// SPDX-License-Identifier: MIT
// Internal: a port's line. The raw-mode terminal settings a port is opened
// with, and letting output already accepted leave the line before it is
// discarded (at a close or a reopen).
#pragma once

#include <termios.h>

namespace kiv::serial {

// The frame format of a line: character size, stop bits and parity.
struct FrameFormat {
  int data_bits;  // 7 or 8
  int stop_bits;  // 1 or 2
  char parity;    // 'N', 'E' or 'O'
};

// 8 data bits, no parity, 1 stop bit.
constexpr FrameFormat kFrame8N1 = {8, 1, 'N'};

// Reads the caller's options: dataBits 7 gives 7 (anything else 8), stopBits 2
// gives 2 (anything else 1), parity 'E'/'e' even, 'O'/'o' odd, anything else none.
FrameFormat frame_format_from_options(int data_bits, int stop_bits, char parity);

// The speed for a baud value: 4800 to 115200 as named, any other value 115200.
speed_t speed_for_baud(int baud);
// The baud rate of a speed the table above gives.
int baud_of_speed(speed_t speed);

// Bits a character takes on the wire: start bit, data, parity, stop bits.
int bits_per_char(const FrameFormat& format);

// Raw mode: all input, output and local processing off, VMIN = VTIME = 0,
// CREAD and CLOCAL on, no hardware flow control, the frame format and speed.
termios raw_settings(speed_t speed, const FrameFormat& format);

// Waits until the line's output queue counts no byte, for at most the time the
// bytes counted at the start take on the wire at `baud` with `bits_per_char`,
// plus 100 ms; then until the transmitter reports itself empty, for at most
// the time 64 characters take (not at all where the port cannot tell). Never
// waits without a bound, unlike tcdrain. True when nothing is counted any
// more (also for a descriptor whose queue cannot be read), false when bytes
// are still counted after the bound.
bool wait_for_output_sent(int fd, int baud, int bits_per_char);

// The same, at the speed and character size currently set on the line.
bool wait_for_output_sent(int fd);

// Discards received input, and output only when `output_left` (bytes were
// still counted after the wait): on a pseudo-terminal, discarding output
// removes bytes the peer has not read yet, though the queue counts none.
void discard_pending(int fd, bool output_left);

}  // namespace kiv::serial
