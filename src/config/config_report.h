// SPDX-License-Identifier: MIT
// Internal: what the library makes of "/etc/ul-opx3000.ini", line by line,
// for a report on the device. Built into the command-line tool's copy of the
// library only: the library itself needs no more than the first failed line.
#pragma once

#include <string>
#include <vector>

namespace kiv_config {

struct ConfigFileReport {
  bool present = false;            // the file exists
  bool opened = false;             // it could be opened for reading
  std::vector<int> refused_lines;  // every line the parse counts as failed, ascending
  std::vector<std::string> why;    // for each of them, what was wrong with it
  bool truncated = false;          // larger than a configuration: only its start was read
};

// Reads the file with the library's parser and handler into a record of its
// own: the configuration in force is left alone. Line numbers are the
// file's (a line longer than the parser takes at once is one line).
ConfigFileReport report_config_file();

}  // namespace kiv_config
