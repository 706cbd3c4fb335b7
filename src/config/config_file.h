// SPDX-License-Identifier: MIT
// Internal: reading "/etc/ul-opx3000.ini" into the global configuration.
#pragma once

#include <cstdio>

#include "kiv_config.h"

namespace kiv_config {

// Path of the configuration file.
inline constexpr const char kConfigPath[] = "/etc/ul-opx3000.ini";

// The INI handler: takes the five known keys into the config_t at `user` and
// refuses every other line that carries a value, which makes ini_parse report
// the file as failed.
int config_ini_handler(void* user, const char* section, const char* name, const char* value);

// Settles the configuration while is_configed is 0: marks a missing file (-1),
// or parses the file and publishes what it set, marking a clean parse (1).
// A file that fails to parse leaves is_configed at 0, so the next lookup
// reads it again. Any thread.
void refresh_config();

// Parses an opened configuration file over `record`: the lines it accepts
// replace their keys, the others keep their values. Returns ini_parse's
// result (0 for a clean parse, else the first refused line).
int parse_config(FILE* file, config_t& record);

// Publishes what a parse with `result` left in `record`, and settles the
// configuration when the parse was clean.
void adopt_config(int result, config_t record);

}  // namespace kiv_config
