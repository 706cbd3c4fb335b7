// SPDX-License-Identifier: MIT
#include "board_map.h"

#include <strings.h>

#include <cstdlib>

namespace kivsim {
namespace {

struct PinRole {
  int pin;
  const char* role;
  const char* alias;  // the role written without a blank, for commands
};

const PinRole kRoles[] = {
    {22, "DO1", "do1"},       {27, "DO2", "do2"},         {13, "laser", "laser"},
    {16, "scan A", "scan-a"}, {7, "scan B", "scan-b"},    {21, "alarm", "alarm"},
    {17, "input", "input"},   {12, "trigger", "trigger"}, {20, "tune", "tune"},
    {19, "strip", "strip"},
};

const int kKnownPins[] = {22, 27, 13, 16, 7, 21, 17, 12, 20, 19, -1};

}  // namespace

const char* pin_role(int pin) {
  for (const PinRole& r : kRoles)
    if (r.pin == pin)
      return r.role;
  return "";
}

std::string pin_label(int pin) {
  const char* role = pin_role(pin);
  if (*role == '\0')
    return "pin " + std::to_string(pin);
  return std::string(role) + " (" + std::to_string(pin) + ")";
}

bool is_input_pin(int pin) {
  return pin == 17 || pin == 12 || pin == 20;
}

int parse_pin(const std::string& text) {
  if (text.empty())
    return -1;
  for (const PinRole& r : kRoles)
    if (strcasecmp(text.c_str(), r.alias) == 0)
      return r.pin;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || text[0] == '-' || text[0] == '+' || v > 63)
    return -1;
  return static_cast<int>(v);
}

const int* known_pins() {
  return kKnownPins;
}

}  // namespace kivsim
