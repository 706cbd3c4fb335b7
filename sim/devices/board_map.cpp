// SPDX-License-Identifier: MIT
#include "board_map.h"

#include <strings.h>

#include <cstdlib>

namespace kivsim {

const std::vector<BoardLine>& board_lines() {
  static const std::vector<BoardLine> kLines = {
      {13, "laser", nullptr, LineKind::kOutput},   {21, "alarm", nullptr, LineKind::kOutput},
      {16, "scan-a", "scan A", LineKind::kOutput}, {7, "scan-b", "scan B", LineKind::kOutput},
      {22, "do1", nullptr, LineKind::kOutput},     {27, "do2", nullptr, LineKind::kOutput},
      {17, "input", nullptr, LineKind::kInput},    {12, "trigger", nullptr, LineKind::kInput},
      {20, "tune", nullptr, LineKind::kInput},     {19, "strip", nullptr, LineKind::kStrip},
  };
  return kLines;
}

const BoardLine* board_line(int pin) {
  for (const BoardLine& line : board_lines())
    if (line.pin == pin)
      return &line;
  return nullptr;
}

std::string pin_label(int pin) {
  const BoardLine* line = board_line(pin);
  if (!line)
    return "pin " + std::to_string(pin);
  return std::string(line->name) + " (" + std::to_string(pin) + ")";
}

std::string pin_key(int pin) {
  const BoardLine* line = board_line(pin);
  return line ? line->name : std::to_string(pin);
}

int parse_pin(const std::string& text) {
  // A zero byte would end the name or number early: "input\0x" is no input.
  if (text.empty() || text.find('\0') != std::string::npos)
    return -1;
  for (const BoardLine& line : board_lines())
    if (strcasecmp(text.c_str(), line.name) == 0 ||
        (line.older && strcasecmp(text.c_str(), line.older) == 0))
      return line.pin;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || text[0] == '-' || text[0] == '+' || v >= kBoardPins)
    return -1;
  return static_cast<int>(v);
}

std::string line_names(std::optional<LineKind> kind) {
  std::string names;
  for (const BoardLine& line : board_lines()) {
    if (kind && line.kind != *kind)
      continue;
    if (!names.empty())
      names += ", ";
    names += line.name;
  }
  return names;
}

std::string line_choices(std::optional<LineKind> kind) {
  return line_names(kind) + ", or a pin number 0.." + std::to_string(kBoardPins - 1);
}

bool is_input_pin(int pin) {
  const BoardLine* line = board_line(pin);
  return line && line->kind == LineKind::kInput;
}

bool is_driven_pin(int pin) {
  const BoardLine* line = board_line(pin);
  return line && line->kind != LineKind::kInput;
}

}  // namespace kivsim
