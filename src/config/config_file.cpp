// SPDX-License-Identifier: MIT
// The INI handler and the parse-and-publish step of the configuration lookup.
#include "config/config_file.h"

#include <ini.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kiv_config.h"

namespace kiv_config {

int config_ini_handler(void* user, const char* section, const char* name, const char* value) {
  config_t* record = static_cast<config_t*>(user);
  if (std::strcmp(section, "LIGHT") == 0) {
    if (std::strcmp(name, "section_1") == 0) {
      record->section_1 = std::atoi(value);
      return 1;
    }
    if (std::strcmp(name, "section_2") == 0) {
      record->section_2 = std::atoi(value);
      return 1;
    }
    if (std::strcmp(name, "section_3") == 0) {
      record->section_3 = std::atoi(value);
      return 1;
    }
    if (std::strcmp(name, "section_4") == 0) {
      record->section_4 = std::atoi(value);
      return 1;
    }
    return 0;
  }
  if (std::strcmp(section, "CMD") == 0 && std::strcmp(name, "timeout_ns") == 0) {
    record->timeout_ns = std::atoi(value);
    return 1;
  }
  return 0;
}

namespace {

// Lookups may run on several threads while a failing file is parsed again, so
// the parser never writes the global record: it fills a record of this call's
// own, and only its final values are published, one atomic store per field.
// A concurrent lookup thus sees, in every field, a value some parse ended with.
config_t load_config() {
  config_t copy;
  copy.section_1 = __atomic_load_n(&config.section_1, __ATOMIC_ACQUIRE);
  copy.section_2 = __atomic_load_n(&config.section_2, __ATOMIC_ACQUIRE);
  copy.section_3 = __atomic_load_n(&config.section_3, __ATOMIC_ACQUIRE);
  copy.section_4 = __atomic_load_n(&config.section_4, __ATOMIC_ACQUIRE);
  copy.timeout_ns = __atomic_load_n(&config.timeout_ns, __ATOMIC_ACQUIRE);
  return copy;
}

void publish_config(const config_t& record) {
  __atomic_store_n(&config.section_1, record.section_1, __ATOMIC_RELEASE);
  __atomic_store_n(&config.section_2, record.section_2, __ATOMIC_RELEASE);
  __atomic_store_n(&config.section_3, record.section_3, __ATOMIC_RELEASE);
  __atomic_store_n(&config.section_4, record.section_4, __ATOMIC_RELEASE);
  __atomic_store_n(&config.timeout_ns, record.timeout_ns, __ATOMIC_RELEASE);
}

// 0 -> 1 and 0 -> -1 are final: a racing lookup that saw an older state of the
// file cannot undo the first decision.
void settle(int state) {
  int undecided = 0;
  __atomic_compare_exchange_n(&is_configed, &undecided, state, false, __ATOMIC_ACQ_REL,
                              __ATOMIC_ACQUIRE);
}

}  // namespace

int parse_config(FILE* file, config_t& record) {
  return ini_parse_file(file, config_ini_handler, &record);
}

void adopt_config(int result, config_t record) {
  if (result == 0 && record.timeout_ns < 0)
    record.timeout_ns = 0;
  publish_config(record);
  if (result == 0)
    settle(1);
}

void refresh_config() {
  if (access(kConfigPath, F_OK) != 0) {
    settle(-1);
    return;
  }
  // "e": the descriptor must not leak into a program the application starts.
  FILE* file = std::fopen(kConfigPath, "re");
  if (file == nullptr)
    return;  // not opened: nothing read, the values stay as they are
  config_t record = load_config();
  const int result = parse_config(file, record);
  std::fclose(file);
  adopt_config(result, record);
}

}  // namespace kiv_config
