// SPDX-License-Identifier: MIT
// A port's line: its raw-mode settings, and the bounded wait for output to
// leave it.
#include "serial/serial_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

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

namespace {

constexpr int64_t kSlackMs = 100;
constexpr int64_t kLongestStepMs = 20;
// Characters a UART's transmit FIFO holds, at most, on the boards served.
constexpr int kFifoChars = 64;

// Bytes counted in the line's output queue; 0 when it cannot be read.
int queued_output(int fd) {
  int count = 0;
  if (ioctl(fd, TIOCOUTQ, &count) != 0 || count < 0)
    return 0;
  return count;
}

int64_t wire_time_ms(int bytes, int baud, int bits_per_char) {
  return int64_t{bytes} * std::max(1, bits_per_char) * 1000 / std::max(1, baud);
}

// Waits until the output queue counts no byte, within the bound the bytes
// counted at the start give.
bool wait_for_queue_empty(int fd, int baud, int bits_per_char) {
  using Clock = std::chrono::steady_clock;
  int queued = queued_output(fd);
  if (queued == 0)
    return true;
  const Clock::time_point deadline =
      Clock::now() +
      std::chrono::milliseconds(wire_time_ms(queued, baud, bits_per_char) + kSlackMs);
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline)
      return false;
    // Looks again about when half of what is left should have gone.
    const int64_t step =
        std::clamp<int64_t>(wire_time_ms(queued, baud, bits_per_char) / 2, 1, kLongestStepMs);
    const auto until = std::min(deadline, now + std::chrono::milliseconds(step));
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(until - now).count();
    usleep(static_cast<useconds_t>(std::max<int64_t>(us, 1)));
    queued = queued_output(fd);
    if (queued == 0)
      return true;
  }
}

// The transmitter holds no byte: its FIFO and shift register are empty. True
// also for a port that cannot tell (a pseudo-terminal answers ENOTTY).
bool transmitter_empty(int fd) {
  unsigned int lsr = 0;
  if (ioctl(fd, TIOCSERGETLSR, &lsr) != 0)
    return true;
  return (lsr & TIOCSER_TEMT) != 0;
}

// The output queue counts bytes the driver holds, not those already in the
// UART's FIFO and shift register: settings changed at once could alter the
// speed under them. Waits until the transmitter is empty, for at most the time
// a full FIFO takes on the wire.
void wait_for_transmitter_empty(int fd, int baud, int bits_per_char) {
  using Clock = std::chrono::steady_clock;
  if (transmitter_empty(fd))
    return;
  const int64_t fifo_us =
      int64_t{kFifoChars} * std::max(1, bits_per_char) * 1000000 / std::max(1, baud);
  const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(fifo_us);
  // About a character's time between looks.
  const int64_t step_us = std::max<int64_t>(fifo_us / kFifoChars, 50);
  while (Clock::now() < deadline) {
    usleep(static_cast<useconds_t>(step_us));
    if (transmitter_empty(fd))
      return;
  }
}

}  // namespace

bool wait_for_output_sent(int fd, int baud, int bits_per_char) {
  const bool sent = wait_for_queue_empty(fd, baud, bits_per_char);
  if (sent)
    wait_for_transmitter_empty(fd, baud, bits_per_char);
  return sent;
}

bool wait_for_output_sent(int fd) {
  termios current{};
  if (tcgetattr(fd, &current) != 0)
    return wait_for_output_sent(fd, 115200, 10);
  const tcflag_t size = current.c_cflag & CSIZE;
  const FrameFormat format{size == CS7   ? 7
                           : size == CS6 ? 6
                           : size == CS5 ? 5
                                         : 8,
                           (current.c_cflag & CSTOPB) != 0 ? 2 : 1,
                           (current.c_cflag & PARENB) != 0 ? 'E' : 'N'};
  return wait_for_output_sent(fd, baud_of_speed(cfgetospeed(&current)), bits_per_char(format));
}

void discard_pending(int fd, bool output_left) {
  tcflush(fd, output_left ? TCIOFLUSH : TCIFLUSH);
}

}  // namespace kiv::serial
