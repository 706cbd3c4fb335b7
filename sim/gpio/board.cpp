// SPDX-License-Identifier: MIT
#include "board.h"

#include <cstddef>
#include <cstdio>

#include "wiringPi.h"

namespace kivsim {
namespace gpio {
namespace detail {

Board& board() {
  static Board* b = new Board;
  return *b;
}

// A simulator may run for hours: past this many calls the older half goes.
constexpr size_t kLogLimit = size_t{1} << 20;

void log_call(Board& b, CallKind kind, int pin, int value, int result) {
  if (b.log.size() >= kLogLimit)
    b.log.erase(b.log.begin(), b.log.begin() + static_cast<std::ptrdiff_t>(kLogLimit / 2));
  b.log.push_back(Call{kind, pin, value, result});
  if (kind == CallKind::Delay)
    b.changed.notify_all();
}

void fault(Board& b, const char* what, int pin) {
  char text[160];
  std::snprintf(text, sizeof text, "%s (pin %d)", what, pin);
  b.faults.emplace_back(text);
  // On the board this call ends the process; here it must not go unnoticed.
  std::fprintf(stderr, "[wiringPi stand-in] FAULT: %s\n", text);
}

void set_mode(Line& line, int mode) {
  line.mode = mode;
  if (mode == OUTPUT)
    line.level = line.latch;
}

void set_pull(Line& line, int pud) {
  line.pull = pud;
  // An undriven input floats to its pull.
  if (!line.driven && line.mode != OUTPUT) {
    if (pud == PUD_DOWN)
      line.level = 0;
    if (pud == PUD_UP)
      line.level = 1;
  }
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
