// SPDX-License-Identifier: MIT
// The board variant: the CPU serial number from "/proc/cpuinfo", looked up in
// the compiled-in list of updated devices.
#include <cstdio>
#include <cstring>

#include "kiv_config.h"

namespace {

constexpr size_t kSerialLength = 16;
constexpr size_t kTableSize = sizeof X_FIRMWARE_UPDATE_CPUS / sizeof X_FIRMWARE_UPDATE_CPUS[0];

}  // namespace

void get_cpu_serial(void) {
  std::puts("[debug] Read cputinfo...");
  // "e": the descriptor must not leak into a program the application starts.
  FILE* cpuinfo = std::fopen("/proc/cpuinfo", "re");
  if (cpuinfo == nullptr) {
    std::perror("Failed to open /proc/cpuinfo");
    return;
  }
  // A line longer than the buffer arrives in pieces, each taken as a line.
  char line[256];
  while (std::fgets(line, sizeof line, cpuinfo) != nullptr) {
    if (std::strstr(line, "Serial") == nullptr)
      continue;
    const char* colon = std::strchr(line, ':');
    if (colon == nullptr)
      continue;
    // The number starts past the colon and the blank after it, but never past
    // the end of the line.
    const char* start = colon + 1;
    if (*start != '\0')
      ++start;
    std::strncpy(serial_buf, start, kSerialLength);
    serial_buf[kSerialLength] = '\0';
    break;
  }
  std::fclose(cpuinfo);
}

bool x_updated_device(void) {
  int decided = __atomic_load_n(&is_x_device, __ATOMIC_ACQUIRE);
  if (decided != 0)
    return decided == 1;
  get_cpu_serial();
  for (size_t i = 0; i < kTableSize; ++i) {
    if (std::strncmp(serial_buf, X_FIRMWARE_UPDATE_CPUS[i], kSerialLength) == 0) {
      __atomic_store_n(&is_x_device, 1, __ATOMIC_RELEASE);
      return true;
    }
  }
  __atomic_store_n(&is_x_device, -1, __ATOMIC_RELEASE);
  return false;
}
