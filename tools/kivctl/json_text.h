// SPDX-License-Identifier: MIT
// One JSON value as one line of text, always valid JSON: the texts kivctl
// reports come from the device and the kernel (a process name cut inside a
// character, a CPU serial) and need not be UTF-8, so a byte that is not is
// replaced by U+FFFD rather than ending the program.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace kivctl {

inline std::string json_text(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace kivctl
