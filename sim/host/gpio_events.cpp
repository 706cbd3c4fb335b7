// SPDX-License-Identifier: MIT
#include "gpio_events.h"

#include <algorithm>
#include <cstdint>

#include "board_map.h"
#include "byte_text.h"
#include "gpio_wire.h"

namespace kivsim {
namespace {

using link::GpioReportKind;

const char* mode_name(int mode) {
  return mode == 0 ? "INPUT" : mode == 1 ? "OUTPUT" : nullptr;
}

const char* pull_name(int pud) {
  return pud == 0 ? "off" : pud == 1 ? "down" : pud == 2 ? "up" : nullptr;
}

const char* edge_name(int edge) {
  switch (edge) {
    case 0:
      return "setup only";
    case 1:
      return "falling edges";
    case 2:
      return "rising edges";
    case 3:
      return "both edges";
    default:
      return nullptr;
  }
}

std::string with_number(const char* name, int value) {
  return name ? std::string(name) : std::to_string(value) + " (unknown)";
}

// The report as an event: its kind, the fields of its kind and its text.
void describe(const link::GpioReport& r, Event& e) {
  const int a = r.pin, b = r.value;
  const std::string pin = pin_label(a);
  switch (r.kind) {
    case GpioReportKind::kSetup:
      e.kind = EventKind::kSetup;
      e.result = r.result;
      e.text = r.result == 0 ? "setup ok" : "setup failed (" + std::to_string(r.result) + ")";
      return;
    case GpioReportKind::kLost:
      e.kind = EventKind::kLost;
      e.result = static_cast<int>(std::min<long long>(r.count, INT32_MAX));
      e.text = std::to_string(r.count) + " reports lost: the launcher took them too slowly";
      return;
    case GpioReportKind::kHandlerStart:
    case GpioReportKind::kHandlerEnd: {
      const bool start = r.kind == GpioReportKind::kHandlerStart;
      e.kind = start ? EventKind::kHandlerStart : EventKind::kHandlerEnd;
      e.pin = a;
      e.text = "handler " + pin + (start ? " starts" : " ends");
      return;
    }
    case GpioReportKind::kIsr:
      e.kind = EventKind::kIsr;
      e.pin = a;
      e.level = b;
      e.result = r.result;
      e.text = "interrupt " + pin + " on " + with_number(edge_name(b), b) +
               (r.result == 0 ? ": ok" : ": failed (" + std::to_string(r.result) + ")");
      return;
    default:
      break;
  }
  e.pin = a;
  e.level = b;
  switch (r.kind) {
    case GpioReportKind::kMode:
      e.kind = EventKind::kMode;
      e.text = "mode " + pin + " " + with_number(mode_name(b), b);
      break;
    case GpioReportKind::kPull:
      e.kind = EventKind::kPull;
      e.text = "pull " + pin + " " + with_number(pull_name(b), b);
      break;
    case GpioReportKind::kWrite:
      e.kind = EventKind::kWrite;
      e.text = pin + " -> " + std::to_string(b);
      break;
    case GpioReportKind::kWritten:
      e.kind = EventKind::kWritten;
      e.text = pin + " is " + std::to_string(b) + " (after lost reports)";
      break;
    default:
      e.kind = EventKind::kRead;
      e.text = "read " + pin + " = " + std::to_string(b);
      break;
  }
}

}  // namespace

int64_t read_gpio_report(const std::string& line, Event& event) {
  std::string_view text = line;
  int64_t time = link::kNoTime;
  link::take_stamp(text, time);
  link::GpioReport report;
  if (!link::decode(text, report)) {
    event.kind = EventKind::kUnknown;
    event.text = "unknown report " + quoted_text(std::string(text));
    return time;
  }
  describe(report, event);
  return time;
}

std::string describe_gpio_command(bool edge, int pin, int level) {
  return (edge ? "edge " : "level ") + pin_label(pin) + " -> " + std::to_string(level);
}

}  // namespace kivsim
