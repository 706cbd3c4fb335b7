// SPDX-License-Identifier: MIT
// "/proc/cpuinfo" contents into the CPU serial number and the board variant.
#include <cstdint>
#include <cstring>

#include "check.h"
#include "config/board_variant.h"
#include "kiv_config.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::memset(serial_buf, 0, sizeof serial_buf);
  {
    kivfuzz::MemoryFile file(data, size);
    kiv_config::read_cpu_serial(file.get());
  }
  KIV_FUZZ_CHECK(serial_buf[sizeof serial_buf - 1] == '\0');
  const size_t length = std::strlen(serial_buf);
  if (memmem(data, size, "Serial", 6) == nullptr)
    KIV_FUZZ_CHECK(length == 0);
  const int variant = kiv_config::variant_of(serial_buf);
  KIV_FUZZ_CHECK(variant == 1 || variant == -1);
  // Every updated device's number is 16 lower-case hexadecimal digits.
  if (variant == 1)
    KIV_FUZZ_CHECK(length == 16 && std::strspn(serial_buf, "0123456789abcdef") == 16);
  return 0;
}
