// SPDX-License-Identifier: MIT
// The board variant: the CPU serial number from "/proc/cpuinfo", looked up in
// the compiled-in list of updated devices.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "config/board_variant.h"
#include "kiv_config.h"

namespace {

constexpr size_t kSerialLength = 16;
constexpr size_t kTableSize = sizeof X_FIRMWARE_UPDATE_CPUS / sizeof X_FIRMWARE_UPDATE_CPUS[0];

// Concurrent first lookups decide the variant once: the others wait for it
// rather than read the serial number into the same buffer at the same time.
// (A plain mutex rather than std::call_once, whose helper would be exported.)
std::mutex variant_mutex;

void decide_variant() {
  get_cpu_serial();
  __atomic_store_n(&is_x_device, kiv_config::variant_of(serial_buf), __ATOMIC_RELEASE);
}

}  // namespace

namespace kiv_config {

void read_cpu_serial(FILE* cpuinfo) {
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
}

int variant_of(const char* serial) {
  for (size_t i = 0; i < kTableSize; ++i)
    if (std::strncmp(serial, X_FIRMWARE_UPDATE_CPUS[i], kSerialLength) == 0)
      return 1;
  return -1;
}

}  // namespace kiv_config

void get_cpu_serial(void) {
  std::puts("[debug] Read cputinfo...");
  // "e": the descriptor must not leak into a program the application starts.
  FILE* cpuinfo = std::fopen("/proc/cpuinfo", "re");
  if (cpuinfo == nullptr) {
    std::perror("Failed to open /proc/cpuinfo");
    return;
  }
  kiv_config::read_cpu_serial(cpuinfo);
  std::fclose(cpuinfo);
}

bool x_updated_device(void) {
  int decided = __atomic_load_n(&is_x_device, __ATOMIC_ACQUIRE);
  if (decided == 0) {
    std::lock_guard<std::mutex> lock(variant_mutex);
    decided = __atomic_load_n(&is_x_device, __ATOMIC_ACQUIRE);
    if (decided == 0) {
      decide_variant();
      decided = __atomic_load_n(&is_x_device, __ATOMIC_ACQUIRE);
    }
  }
  return decided == 1;
}
