// SPDX-License-Identifier: MIT
// The lookups: the configured value of a light section or of the write pause,
// and the value in force once the board variant's defaults fill the gaps.
#include "config/config_file.h"
#include "kiv_config.h"

int get_value_by_config(int n) {
  if (__atomic_load_n(&is_configed, __ATOMIC_ACQUIRE) == 0)
    kiv_config::refresh_config();
  switch (n) {
    case 1:
      return __atomic_load_n(&config.section_1, __ATOMIC_ACQUIRE);
    case 2:
      return __atomic_load_n(&config.section_2, __ATOMIC_ACQUIRE);
    case 3:
      return __atomic_load_n(&config.section_3, __ATOMIC_ACQUIRE);
    case 4:
      return __atomic_load_n(&config.section_4, __ATOMIC_ACQUIRE);
    case 5:
      return __atomic_load_n(&config.timeout_ns, __ATOMIC_ACQUIRE);
    default:
      return 0;
  }
}

int firmware_index_v2(int n) {
  // A configured value is used as it stands: a channel outside 1..4 is refused
  // by the frame that carries it, a negative pause means no pause.
  int value = get_value_by_config(n);
  if (value != 0)
    return value;
  switch (n) {
    case 1:  // an updated device drives sections 1 and 3 on each other's channels
      return x_updated_device() ? 3 : 1;
    case 2:
      return 2;
    case 3:
      return x_updated_device() ? 1 : 3;
    case 4:
      return 4;
    case 5:  // an updated device's controller needs 2 ms after each command
      return x_updated_device() ? 2 : 0;
    default:
      return 0;
  }
}
