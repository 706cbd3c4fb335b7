// SPDX-License-Identifier: MIT
// The pieces a scenario file is read with: each checks one value and throws a
// Fault naming its place in the file and what is wrong, which load_scenario
// turns into its error.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>

#include "event_watch.h"

namespace kivsim {
namespace scenario_json {

using nlohmann::json;

constexpr long kMaxMs = 24L * 3600 * 1000;

struct Fault {
  std::string where;
  std::string what;
};

[[noreturn]] void fault(const std::string& where, const std::string& what);
void only_keys(const json& obj, const std::string& where,
               std::initializer_list<const char*> allowed);
long milliseconds(const json& v, const std::string& where);
int whole(const json& v, const std::string& where, long lo, long hi);
std::string text(const json& v, const std::string& where);
uint32_t colour(const json& v, const std::string& where);
// "39 2D 01 0D 0A" (spaces optional) to its bytes.
std::string hex_frame(const json& v, const std::string& where);
// A line: a pin number or a line's name ("alarm"; also an older spelling, "scan A").
int line_pin(const json& v, const std::string& where);
// One colour for every LED, or an array of one a LED.
std::vector<uint32_t> strip_colours(const json& v, const std::string& where);
// A regular expression (ECMAScript), checked here so that a run never starts
// with one that cannot be used.
std::shared_ptr<const std::regex> expression(const json& v, const std::string& where);
// What to wait for or measure from: "trigger rises", "laser falls", or an
// object with one of line (and level), com1, com1_match, com2, strip, lens.
EventPattern event_pattern(const json& v, const std::string& where);

}  // namespace scenario_json
}  // namespace kivsim
