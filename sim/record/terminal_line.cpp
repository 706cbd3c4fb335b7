// SPDX-License-Identifier: MIT
#include "terminal_line.h"

#include <termios.h>

namespace kivsim {
namespace {

int baud_of(speed_t speed) {
  static const struct {
    speed_t speed;
    int baud;
  } kSpeeds[] = {{B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},
                 {B150, 150},       {B200, 200},       {B300, 300},       {B600, 600},
                 {B1200, 1200},     {B1800, 1800},     {B2400, 2400},     {B4800, 4800},
                 {B9600, 9600},     {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
                 {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
  for (const auto& s : kSpeeds)
    if (s.speed == speed)
      return s.baud;
  return 0;
}

}  // namespace

SerialLine terminal_line(int fd) {
  SerialLine line;
  termios t{};
  if (tcgetattr(fd, &t) != 0)
    return line;
  line.baud = baud_of(cfgetospeed(&t));
  switch (t.c_cflag & CSIZE) {
    case CS5:
      line.data_bits = 5;
      break;
    case CS6:
      line.data_bits = 6;
      break;
    case CS7:
      line.data_bits = 7;
      break;
    default:
      line.data_bits = 8;
  }
  line.parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
  line.stop_bits = (t.c_cflag & CSTOPB) ? 2 : 1;
  return line;
}

}  // namespace kivsim
