// SPDX-License-Identifier: MIT
// Reading a file the launcher is handed (a scenario, a script, an INI file,
// the program's ELF file) whole, without trusting it to be an ordinary file:
// a device such as /dev/zero never ends, and a FIFO with no writer holds its
// reader at open.
#pragma once

#include <cstddef>
#include <string>

namespace kivsim {

// The most the launcher reads of a scenario, a script or an INI file: far
// beyond any real one, small enough that a wrong path costs nothing.
constexpr size_t kInputFileLimit = size_t{4} << 20;

// Reads `path` whole into `content` when it is a regular file of at most
// `limit` bytes (a whole number of MiB). Returns "" when it did; otherwise
// why not, to follow "PATH: " in a message: the system's text ("No such file
// or directory"), "not a regular file" or "larger than 4 MiB". Opens nothing
// but regular files, so a device is never touched.
std::string read_bounded_file(const std::string& path, size_t limit, std::string& content);

}  // namespace kivsim
