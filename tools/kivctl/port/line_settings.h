// SPDX-License-Identifier: MIT
// A serial line's settings as the serial commands take them, opened through
// the library's own open with a frame format.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace kivctl {

struct LineSettings {
  int baud = 115200;
  int data_bits = 8;
  std::string parity = "none";  // none, even or odd
  int stop_bits = 1;

  char parity_letter() const;  // 'N', 'E' or 'O'
  std::string text() const;    // "115200 8N1"
};

// --baud, --data-bits, --parity and --stop-bits on `command`, each checked
// against what the library opens a line with.
void add_line_options(CLI::App* command, LineSettings& line);

}  // namespace kivctl
