// SPDX-License-Identifier: MIT
// Internal: the raw-mode terminal settings a port is opened with.
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

}  // namespace kiv::serial
