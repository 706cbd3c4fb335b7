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

// The text of a report of a known form (its kind, pin, level and result set
// in `e`), or "" for any other.
std::string describe(const std::vector<std::string>& w, Event& e) {
  const std::string& name = w[0];
  int a = 0, b = 0, c = 0;
  if (name == "setup" && w.size() == 2 && to_int(w[1], a)) {
    e.kind = EventKind::kSetup;
    e.result = a;
    return a == 0 ? "setup ok" : "setup failed (" + std::to_string(a) + ")";
  }
  if (w.size() == 2 && to_int(w[1], a) && a >= 0) {
    if (name == "lost") {
      e.kind = EventKind::kLost;
      e.result = a;
      return std::to_string(a) + " reports lost: the launcher took them too slowly";
    }
    e.pin = a;
    if (name == "handler-start") {
      e.kind = EventKind::kHandlerStart;
      return "handler " + pin_label(a) + " starts";
    }
    if (name == "handler-end") {
      e.kind = EventKind::kHandlerEnd;
      return "handler " + pin_label(a) + " ends";
    }
  }
  if (w.size() == 3 && to_int(w[1], a) && a >= 0 && to_int(w[2], b)) {
    e.pin = a;
    e.level = b;
    if (name == "mode") {
      e.kind = EventKind::kMode;
      return "mode " + pin_label(a) + " " + with_number(mode_name(b), b);
    }
    if (name == "pull") {
      e.kind = EventKind::kPull;
      return "pull " + pin_label(a) + " " + with_number(pull_name(b), b);
    }
    if (name == "write") {
      e.kind = EventKind::kWrite;
      return pin_label(a) + " -> " + std::to_string(b);
    }
    if (name == "written") {
      e.kind = EventKind::kWritten;
      return pin_label(a) + " is " + std::to_string(b) + " (after lost reports)";
    }
    if (name == "read") {
      e.kind = EventKind::kRead;
      return "read " + pin_label(a) + " = " + std::to_string(b);
    }
  }
  if (name == "isr" && w.size() == 4 && to_int(w[1], a) && a >= 0 && to_int(w[2], b) &&
      to_int(w[3], c)) {
    e.kind = EventKind::kIsr;
    e.pin = a;
    e.level = b;
    e.result = c;
    return "interrupt " + pin_label(a) + " on " + with_number(edge_name(b), b) +
           (c == 0 ? ": ok" : ": failed (" + std::to_string(c) + ")");
  }
  return "";
}

}  // namespace

void read_gpio_report(const std::string& line, Event& event) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  Event e = event;
  std::string text = words.empty() ? "" : describe(words, e);
  if (text.empty()) {
    event.kind = EventKind::kUnknown;
    event.text = "unknown report " + quoted_text(line);
    return;
  }
  e.text = std::move(text);
  event = std::move(e);
}

std::string describe_gpio_command(bool edge, int pin, int level) {
  return (edge ? "edge " : "level ") + pin_label(pin) + " -> " + std::to_string(level);
}

}  // namespace kivsim
