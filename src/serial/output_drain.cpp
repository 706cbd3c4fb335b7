// SPDX-License-Identifier: MIT
#include "serial/output_drain.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "serial/serial_line.h"

namespace kiv::serial {
namespace {

constexpr int64_t kSlackMs = 100;
constexpr int64_t kLongestStepMs = 20;

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

}  // namespace

bool wait_for_output_sent(int fd, int baud, int bits_per_char) {
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
