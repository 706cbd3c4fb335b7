// SPDX-License-Identifier: MIT
#include "serial/serial_line.h"

namespace kiv::serial {

FrameFormat frame_format_from_options(int data_bits, int stop_bits, char parity) {
  FrameFormat f{};
  f.data_bits = data_bits == 7 ? 7 : 8;
  f.stop_bits = stop_bits == 2 ? 2 : 1;
  switch (parity) {
    case 'E':
    case 'e':
      f.parity = 'E';
      break;
    case 'O':
    case 'o':
      f.parity = 'O';
      break;
    default:
      f.parity = 'N';
      break;
  }
  return f;
}

speed_t speed_for_baud(int baud) {
  switch (baud) {
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    default:
      return B115200;
  }
}

int baud_of_speed(speed_t speed) {
  switch (speed) {
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    default:
      return 115200;
  }
}

int bits_per_char(const FrameFormat& format) {
  return 1 + format.data_bits + (format.parity == 'N' ? 0 : 1) + format.stop_bits;
}

termios raw_settings(speed_t speed, const FrameFormat& format) {
  termios t{};  // every flag clear and every control character 0: VMIN = VTIME = 0
  cfsetspeed(&t, speed);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag |= format.data_bits == 7 ? CS7 : CS8;
  if (format.parity == 'N') {
    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
    t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
  } else {
    t.c_cflag |= PARENB;
    if (format.parity == 'O') {
      t.c_cflag |= PARODD;
    } else {
      t.c_cflag &= ~static_cast<tcflag_t>(PARODD);
    }
    t.c_iflag |= INPCK;
  }
  if (format.stop_bits == 2) {
    t.c_cflag |= CSTOPB;
  } else {
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  }
  return t;
}

}  // namespace kiv::serial
