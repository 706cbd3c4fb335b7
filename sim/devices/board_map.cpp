// SPDX-License-Identifier: MIT
#include "board_map.h"

#include <strings.h>

#include <cstdlib>

namespace kivsim {

const std::vector<BoardLine>& board_lines() {
  static const std::vector<BoardLine> kLines = {
      {22, "DO1", "do1", LineKind::kOutput},      {27, "DO2", "do2", LineKind::kOutput},
      {13, "laser", "laser", LineKind::kOutput},  {16, "scan A", "scan-a", LineKind::kOutput},
      {7, "scan B", "scan-b", LineKind::kOutput}, {21, "alarm", "alarm", LineKind::kOutput},
      {17, "input", "input", LineKind::kInput},   {12, "trigger", "trigger", LineKind::kInput},
      {20, "tune", "tune", LineKind::kInput},     {19, "strip", "strip", LineKind::kStrip},
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
  return std::string(line->role) + " (" + std::to_string(pin) + ")";
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
    if (strcasecmp(text.c_str(), line.name) == 0)
      return line.pin;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || text[0] == '-' || text[0] == '+' || v >= kBoardPins)
    return -1;
  return static_cast<int>(v);
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
