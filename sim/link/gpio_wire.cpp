// SPDX-License-Identifier: MIT
#include "gpio_wire.h"

#include <iterator>

namespace kivsim {
namespace link {
namespace {

// Results, modes, pulls and edge types the program passed, whatever they are.
constexpr long long kAnyInt = 1000000;

struct Shape {
  GpioReportKind kind;
  const char* name;
  bool pin, value, result;
};

// The order of each line's numbers: pin, value, result (or the count).
constexpr Shape kShapes[] = {
    {GpioReportKind::kSetup, "setup", false, false, true},
    {GpioReportKind::kMode, "mode", true, true, false},
    {GpioReportKind::kPull, "pull", true, true, false},
    {GpioReportKind::kWrite, "write", true, true, false},
    {GpioReportKind::kRead, "read", true, true, false},
    {GpioReportKind::kIsr, "isr", true, true, true},
    {GpioReportKind::kHandlerStart, "handler-start", true, false, false},
    {GpioReportKind::kHandlerEnd, "handler-end", true, false, false},
    {GpioReportKind::kLost, "lost", false, false, false},
    {GpioReportKind::kWritten, "written", true, true, false},
};

const Shape& shape_of(GpioReportKind kind) {
  return kShapes[static_cast<int>(kind)];
}

// Each command's name, in the order of GpioCommandKind.
constexpr const char* kCommandNames[] = {"edge", "level", "latch", "mode", "handed-over", "pull"};

}  // namespace

size_t encode(const GpioReport& r, char* out, size_t room) {
  size_t head = 0;
  if (r.time_ns != kNoTime && (head = put_stamp(r.time_ns, out, room)) == 0)
    return 0;
  const Shape& s = shape_of(r.kind);
  LineWriter w(out + head, room - head);
  w.text(s.name);
  if (s.pin)
    w.text(" ").number(r.pin);
  if (s.value)
    w.text(" ").number(r.value);
  if (s.result)
    w.text(" ").number(r.result);
  if (r.kind == GpioReportKind::kLost)
    w.text(" ").number(r.count);
  const size_t n = w.finish();
  return n == 0 ? 0 : head + n;
}

bool decode(std::string_view line, GpioReport& report) {
  GpioReport r;
  take_stamp(line, r.time_ns);
  WordReader in(line);
  std::string_view name;
  if (!in.word(name))
    return false;
  for (const Shape& s : kShapes) {
    if (name != s.name)
      continue;
    r.kind = s.kind;
    // A read or an interrupt may be asked of any pin (and refused);
    // everything else is reported of a line only.
    const bool any_pin = s.kind == GpioReportKind::kIsr || s.kind == GpioReportKind::kRead;
    const long long max_pin = any_pin ? kAnyInt : kGpioPins - 1;
    if ((s.pin && !in.number(0, max_pin, r.pin)) ||
        (s.value && !in.number(-kAnyInt, kAnyInt, r.value)) ||
        (s.result && !in.number(-kAnyInt, kAnyInt, r.result)) ||
        (s.kind == GpioReportKind::kLost && !in.number(1, INT64_MAX / 4, r.count)) || !in.at_end())
      return false;
    report = r;
    return true;
  }
  return false;
}

std::string encode(const GpioCommand& c) {
  const std::string name = kCommandNames[static_cast<int>(c.kind)];
  if (c.kind == GpioCommandKind::kHandedOver)
    return name;
  const int value = c.kind == GpioCommandKind::kMode ? c.mode : c.level;
  return name + " " + std::to_string(c.pin) + " " + std::to_string(value);
}

bool decode(std::string_view line, GpioCommand& command) {
  WordReader in(line);
  std::string_view name;
  GpioCommand c;
  if (!in.word(name))
    return false;
  size_t kind = 0;
  while (kind < std::size(kCommandNames) && name != kCommandNames[kind])
    ++kind;
  if (kind == std::size(kCommandNames))
    return false;
  c.kind = static_cast<GpioCommandKind>(kind);
  if (c.kind != GpioCommandKind::kHandedOver) {
    int& value = c.kind == GpioCommandKind::kMode ? c.mode : c.level;
    const int most = c.kind == GpioCommandKind::kPull ? 2 : 1;
    if (!in.number(0, kGpioPins - 1, c.pin) || !in.number(0, most, value))
      return false;
  }
  if (!in.at_end())
    return false;
  command = c;
  return true;
}

}  // namespace link
}  // namespace kivsim
