// SPDX-License-Identifier: MIT
#include "port/line_settings.h"

#include "argument_checks.h"

namespace kivctl {

char LineSettings::parity_letter() const {
  return parity == "even" ? 'E' : parity == "odd" ? 'O' : 'N';
}

std::string LineSettings::text() const {
  return std::to_string(baud) + " " + std::to_string(data_bits) + parity_letter() +
         std::to_string(stop_bits);
}

void add_line_options(CLI::App* command, LineSettings& line) {
  // The speeds the library sets; it would open any other at 115200.
  command->add_option("--baud", line.baud, "the line's speed (default 115200)")
      ->check(one_of({"4800", "9600", "19200", "38400", "57600", "115200"}));
  command->add_option("--data-bits", line.data_bits, "7 or 8 (default 8)")
      ->check(one_of({"7", "8"}));
  command->add_option("--parity", line.parity, "none, even or odd (default none)")
      ->check(one_of({"none", "even", "odd"}));
  command->add_option("--stop-bits", line.stop_bits, "1 or 2 (default 1)")
      ->check(one_of({"1", "2"}));
}

}  // namespace kivctl
