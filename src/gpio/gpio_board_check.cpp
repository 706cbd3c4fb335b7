// SPDX-License-Identifier: MIT
#include "gpio/gpio_board_check.h"

#include <cstdio>
#include <cstring>

namespace kiv {
namespace {

constexpr char kDeviceTreeRevision[] = "/proc/device-tree/system/linux,revision";
constexpr char kCpuinfo[] = "/proc/cpuinfo";

// Lines longer than the buffer are read in pieces; a piece that starts with
// "Revision" counts too, which is only ever more lenient than WiringPi.
bool cpuinfo_names_revision() {
  FILE* f = std::fopen(kCpuinfo, "r");
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

bool gpio_board_identifiable() {
  if (FILE* f = std::fopen(kDeviceTreeRevision, "rb")) {
    std::fclose(f);
    return true;
  }
  return cpuinfo_names_revision();
}

}  // namespace kiv
