// SPDX-License-Identifier: MIT
// Integer fields of the trace read back. nlohmann-json converts a number
// with a fraction or exponent to an integer type by a plain cast, which is
// undefined for a value out of the type's range (1e93): an integer field
// takes a JSON integer within its type's range, and nothing else.
#pragma once

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace kivsim {

// `v` as a T; throws std::invalid_argument naming `name` otherwise.
template <typename T>
T json_integer(const nlohmann::json& v, const std::string& name) {
  using limits = std::numeric_limits<T>;
  if (!v.is_number())
    return v.get<T>();  // throws the library's own type_error
  bool fits = false;
  if (v.is_number_unsigned())
    fits = v.get<uint64_t>() <= static_cast<uint64_t>(limits::max());
  else if (v.is_number_integer())
    fits = v.get<int64_t>() >= static_cast<int64_t>(limits::min()) &&
           (v.get<int64_t>() < 0 ||
            static_cast<uint64_t>(v.get<int64_t>()) <= static_cast<uint64_t>(limits::max()));
  if (!fits)
    throw std::invalid_argument("\"" + name + "\" is no integer within its range");
  return v.is_number_unsigned() ? static_cast<T>(v.get<uint64_t>())
                                : static_cast<T>(v.get<int64_t>());
}

// The field `name` of `j` as a T, or `fallback` when `j` has none.
template <typename T>
T json_integer_or(const nlohmann::json& j, const std::string& name, T fallback) {
  const auto it = j.find(name);
  return it == j.end() ? fallback : json_integer<T>(*it, name);
}

}  // namespace kivsim
