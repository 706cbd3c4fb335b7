// SPDX-License-Identifier: MIT
// WiringPi stand-in: set-up, line modes, pulls, reads, writes and delay.
#include <time.h>

#include <cerrno>

#include "board.h"
#include "hand_over.h"
#include "remote.h"
#include "wiringPi.h"

using kivsim::gpio::CallKind;
using kivsim::gpio::detail::Board;
using kivsim::gpio::detail::board;
using kivsim::gpio::detail::fault;
using kivsim::gpio::detail::log_call;
using kivsim::gpio::detail::report;
using kivsim::gpio::detail::report_write;
using kivsim::gpio::detail::valid_pin;

int wiringPiSetupGpio(void) {
  Board& b = board();
  bool set_up;
  {
    std::lock_guard<std::mutex> lock(b.mutex);
    set_up = b.set_up;
  }
  // Checked once, as the real set-up does; the exit runs without the lock,
  // which the stand-in's exit handler takes.
  if (!set_up)
    kivsim::gpio::detail::identify_board_or_exit();
  // Connected to a launcher, the lines start as the board has them: what
  // earlier programs and the launcher's commands left.
  if (kivsim::gpio::detail::remote_connect())
    kivsim::gpio::detail::await_hand_over();
  std::lock_guard<std::mutex> lock(b.mutex);
  // The real library never reports failure once it has succeeded.
  int result = (b.fail_setup && !b.set_up) ? -1 : 0;
  if (result == 0)
    b.set_up = true;
  log_call(b, CallKind::Setup, -1, result, result);
  report({kivsim::link::GpioReportKind::kSetup, 0, 0, result});
  return result;
}

void pinMode(int pin, int mode) {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  log_call(b, CallKind::Mode, pin, mode);
  if (!b.set_up)
    return fault(b, "pinMode before wiringPiSetupGpio", pin);
  if (!valid_pin(pin))
    return fault(b, "pinMode on a pin outside 0..63", pin);
  // An output drives its latch's level at once: a level written before the
  // switch is there from the first moment, with no pulse at the other one.
  kivsim::gpio::detail::set_mode(b.lines[pin], mode);
  kivsim::gpio::detail::report_mode(pin, mode);
}

void pullUpDnControl(int pin, int pud) {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  log_call(b, CallKind::Pull, pin, pud);
  if (!b.set_up)
    return fault(b, "pullUpDnControl before wiringPiSetupGpio", pin);
  if (!valid_pin(pin))
    return fault(b, "pullUpDnControl on a pin outside 0..63", pin);
  kivsim::gpio::detail::set_pull(b.lines[pin], pud);
  report({kivsim::link::GpioReportKind::kPull, pin, pud});
}

int digitalRead(int pin) {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  int level = LOW;
  if (!b.set_up) {
    fault(b, "digitalRead before wiringPiSetupGpio", pin);
  } else if (!valid_pin(pin)) {
    fault(b, "digitalRead on a pin outside 0..63", pin);
  } else {
    level = b.lines[pin].level;
  }
  log_call(b, CallKind::Read, pin, level);
  report({kivsim::link::GpioReportKind::kRead, pin, level});
  return level;
}

void digitalWrite(int pin, int value) {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  int level = value != 0 ? HIGH : LOW;
  log_call(b, CallKind::Write, pin, level);
  if (!b.set_up)
    return fault(b, "digitalWrite before wiringPiSetupGpio", pin);
  if (!valid_pin(pin))
    return fault(b, "digitalWrite on a pin outside 0..63", pin);
  auto& line = b.lines[pin];
  // The write goes to the output latch; only an output drives it. An input
  // (or a line whose mode was never set, an input on the board) keeps the
  // level its outside driver gives it until it becomes an output.
  line.latch = level;
  if (line.mode == OUTPUT)
    line.level = level;
  report_write(pin, level);
}

void delay(unsigned int howLong) {
  {
    Board& b = board();
    std::lock_guard<std::mutex> lock(b.mutex);
    log_call(b, CallKind::Delay, -1, static_cast<int>(howLong));
  }
  timespec left{static_cast<time_t>(howLong / 1000), static_cast<long>(howLong % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
