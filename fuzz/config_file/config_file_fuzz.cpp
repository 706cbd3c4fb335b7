// SPDX-License-Identifier: MIT
// A configuration file's bytes through inih and the library's handler, then
// every lookup: the light sections, the pause and indices out of range. The
// first byte picks the board variant whose defaults fill the gaps.
#include <climits>
#include <cstdint>
#include <initializer_list>

#include "check.h"
#include "config/config_file.h"
#include "kiv_config.h"
#include "memory_file.h"

namespace {

int default_of(int n, bool updated) {
  switch (n) {
    case 1:
      return updated ? 3 : 1;
    case 3:
      return updated ? 1 : 3;
    case 2:
    case 4:
      return n;
    case 5:
      return updated ? 2 : 0;
    default:
      return 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1)
    return 0;
  const bool updated = (data[0] & 1) != 0;
  config = {0, 0, 0, 0, 0};
  is_configed = 0;
  is_x_device = updated ? 1 : -1;
  config_t record = config;
  int result;
  {
    kivfuzz::MemoryFile file(data + 1, size - 1);
    result = kiv_config::parse_config(file.get(), record);
  }
  kiv_config::adopt_config(result, record);
  KIV_FUZZ_CHECK((result == 0) == (is_configed == 1));
  // A failed parse would be read again from the fixed path at the next lookup.
  if (is_configed == 0)
    is_configed = -1;

  const int expected[] = {record.section_1, record.section_2, record.section_3, record.section_4,
                          result == 0 && record.timeout_ns < 0 ? 0 : record.timeout_ns};
  for (int n = 1; n <= 5; ++n) {
    const int value = get_value_by_config(n);
    KIV_FUZZ_CHECK(value == expected[n - 1]);
    KIV_FUZZ_CHECK(firmware_index_v2(n) == (value != 0 ? value : default_of(n, updated)));
  }
  for (int n : {INT_MIN, -1, 0, 6, INT_MAX}) {
    KIV_FUZZ_CHECK(get_value_by_config(n) == 0);
    KIV_FUZZ_CHECK(firmware_index_v2(n) == 0);
  }
  return 0;
}
