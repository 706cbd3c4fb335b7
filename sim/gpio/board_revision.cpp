// SPDX-License-Identifier: MIT
// WiringPi stand-in: the board check of the real set-up. The real library
// reads the board's revision from the device tree, or else from the
// "Revision" line of /proc/cpuinfo; with neither it prints why and ends the
// whole process with status 1, whatever WIRINGPI_CODES says.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board.h"

namespace kivsim {
namespace gpio {
namespace detail {
namespace {

bool cpuinfo_names_revision() {
  FILE* f = std::fopen("/proc/cpuinfo", "r");
  if (!f)
    return false;
  char line[256];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, f))
    found = std::strncmp(line, "Revision", 8) == 0;
  std::fclose(f);
  return found;
}

}  // namespace

void identify_board_or_exit() {
  if (FILE* f = std::fopen("/proc/device-tree/system/linux,revision", "rb")) {
    std::fclose(f);
    return;
  }
  if (cpuinfo_names_revision())
    return;
  std::fprintf(stderr,
               "Oops: Unable to determine Raspberry Pi board revision from "
               "/proc/device-tree/system/linux,revision and from /proc/cpuinfo\n");
  std::exit(EXIT_FAILURE);
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
