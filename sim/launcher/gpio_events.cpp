// SPDX-License-Identifier: MIT
#include "gpio_events.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "board_map.h"
#include "byte_text.h"

namespace kivsim {
namespace {

bool to_int(const std::string& word, int& value) {
  if (word.empty())
    return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(word.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < -1000000 || v > 1000000)
    return false;
  value = static_cast<int>(v);
  return true;
}

bool in_range(int pin) {
  return pin >= 0 && pin < BoardState::kPins;
}

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

}  // namespace

BoardState::BoardState() {
  for (int i = 0; i < kPins; ++i)
    mode[i] = output[i] = input[i] = -1;
}

std::string describe_gpio_report(const std::string& line, BoardState& state) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string word; in >> word;)
    w.push_back(word);
  int a = 0, b = 0, c = 0;
  const std::string unknown = "unknown report " + quoted_text(line);
  if (w.empty())
    return unknown;
  const std::string& name = w[0];

  if (name == "setup" && w.size() == 2 && to_int(w[1], a))
    return a == 0 ? "setup ok" : "setup failed (" + std::to_string(a) + ")";
  if (w.size() == 2 && to_int(w[1], a) && a >= 0) {
    if (name == "lost") {
      state.reports_lost += a;
      return std::to_string(a) + " reports lost: the launcher took them too slowly";
    }
    if (name == "handler-start") {
      ++state.handlers_run;
      return "handler " + pin_label(a) + " starts";
    }
    if (name == "handler-end")
      return "handler " + pin_label(a) + " ends";
  }
  if (w.size() == 3 && to_int(w[1], a) && a >= 0 && to_int(w[2], b)) {
    if (name == "mode") {
      if (in_range(a))
        state.mode[a] = b;
      return "mode " + pin_label(a) + " " + with_number(mode_name(b), b);
    }
    if (name == "pull")
      return "pull " + pin_label(a) + " " + with_number(pull_name(b), b);
    if (name == "write") {
      if (in_range(a))
        state.output[a] = b != 0 ? 1 : 0;
      return pin_label(a) + " -> " + std::to_string(b);
    }
    if (name == "written") {
      if (in_range(a))
        state.output[a] = b != 0 ? 1 : 0;
      return pin_label(a) + " is " + std::to_string(b) + " (after lost reports)";
    }
    if (name == "read") {
      if (in_range(a))
        state.input[a] = b;
      return "read " + pin_label(a) + " = " + std::to_string(b);
    }
  }
  if (name == "isr" && w.size() == 4 && to_int(w[1], a) && a >= 0 && to_int(w[2], b) &&
      to_int(w[3], c)) {
    return "interrupt " + pin_label(a) + " on " + with_number(edge_name(b), b) +
           (c == 0 ? ": ok" : ": failed (" + std::to_string(c) + ")");
  }
  return unknown;
}

void fill_gpio_fields(const std::string& line, Event& event) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string word; in >> word;)
    w.push_back(word);
  int n[3] = {0, 0, 0};
  size_t numbers = 0;
  while (numbers < 3 && numbers + 1 < w.size() && to_int(w[numbers + 1], n[numbers]))
    ++numbers;
  static const EventKind kKinds[] = {
      EventKind::kSetup,      EventKind::kMode, EventKind::kPull, EventKind::kWrite,
      EventKind::kWritten,    EventKind::kRead, EventKind::kIsr,  EventKind::kHandlerStart,
      EventKind::kHandlerEnd, EventKind::kLost};
  event.kind = EventKind::kUnknown;
  if (w.empty() || numbers + 1 != w.size())
    return;
  for (EventKind kind : kKinds)
    if (w[0] == kind_name(kind))
      event.kind = kind;
  if (event.kind == EventKind::kUnknown)
    return;
  if (event.kind == EventKind::kSetup || event.kind == EventKind::kLost) {
    event.result = n[0];
    return;
  }
  event.pin = numbers > 0 ? n[0] : -1;
  if (numbers > 1)
    event.level = n[1];
  if (numbers > 2)
    event.result = n[2];
}

std::string describe_gpio_command(bool edge, int pin, int level) {
  return (edge ? "edge " : "level ") + pin_label(pin) + " -> " + std::to_string(level);
}

void record_gpio_command(bool edge, int pin, int level, BoardState& state) {
  if (in_range(pin))
    state.input[pin] = level;
  if (edge)
    ++state.edges_raised;
}

std::string output_summary(const BoardState& state) {
  std::string out;
  bool shown[BoardState::kPins] = {};
  auto add = [&](int pin) {
    if (!in_range(pin) || shown[pin] || state.output[pin] < 0)
      return;
    shown[pin] = true;
    if (!out.empty())
      out += ", ";
    out += pin_label(pin) + "=" + std::to_string(state.output[pin]);
  };
  for (const BoardLine& line : board_lines())
    add(line.pin);
  for (int pin = 0; pin < BoardState::kPins; ++pin)
    add(pin);
  return out.empty() ? "none written" : out;
}

}  // namespace kivsim
