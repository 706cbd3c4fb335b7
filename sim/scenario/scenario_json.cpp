// SPDX-License-Identifier: MIT
#include "scenario_json.h"

#include "board_map.h"

namespace kivsim {
namespace scenario_json {

[[noreturn]] void fault(const std::string& where, const std::string& what) {
  throw Fault{where, what};
}

void only_keys(const json& obj, const std::string& where,
               std::initializer_list<const char*> allowed) {
  if (!obj.is_object())
    fault(where, "must be an object");
  for (auto it = obj.begin(); it != obj.end(); ++it) {
    bool known = false;
    for (const char* key : allowed)
      known = known || it.key() == key;
    if (!known)
      fault(where, "unknown key \"" + it.key() + "\"");
  }
}

long milliseconds(const json& v, const std::string& where) {
  if (!v.is_number_integer() || v.get<long long>() < 0 || v.get<long long>() > kMaxMs)
    fault(where, "must be a whole number of milliseconds from 0 to " + std::to_string(kMaxMs));
  return static_cast<long>(v.get<long long>());
}

int whole(const json& v, const std::string& where, long lo, long hi) {
  if (!v.is_number_integer() || v.get<long long>() < lo || v.get<long long>() > hi)
    fault(where, "must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
  return static_cast<int>(v.get<long long>());
}

std::string text(const json& v, const std::string& where) {
  if (!v.is_string())
    fault(where, "must be a string");
  return v.get<std::string>();
}

uint32_t colour(const json& v, const std::string& where) {
  std::string t = v.is_string() ? v.get<std::string>() : "";
  if (t.size() == 7 && t[0] == '#')
    t.erase(0, 1);
  if (t.size() != 6 || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    fault(where, "must be a colour of 6 hex digits (\"00ff00\")");
  return static_cast<uint32_t>(std::stoul(t, nullptr, 16));
}

std::string hex_frame(const json& v, const std::string& where) {
  std::string digits;
  for (char c : text(v, where))
    if (c != ' ')
      digits += c;
  if (digits.empty() || digits.size() % 2 != 0 ||
      digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    fault(where, "must be the frame's bytes in hex (\"39 2D 01 0D 0A\")");
  std::string bytes;
  for (size_t i = 0; i < digits.size(); i += 2)
    bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  return bytes;
}

int line_pin(const json& v, const std::string& where) {
  const int pin = v.is_string()           ? parse_pin(v.get<std::string>())
                  : v.is_number_integer() ? whole(v, where, 0, 63)
                                          : -1;
  if (pin < 0)
    fault(where, "must name a line (" + line_choices() + ")");
  return pin;
}

std::vector<uint32_t> strip_colours(const json& s, const std::string& where) {
  std::vector<uint32_t> leds;
  if (s.is_array()) {
    if (s.empty())
      fault(where, "must hold at least one colour");
    for (size_t i = 0; i < s.size(); ++i)
      leds.push_back(colour(s[i], where + "[" + std::to_string(i) + "]"));
  } else {
    leds.push_back(colour(s, where));
  }
  return leds;
}

std::shared_ptr<const std::regex> expression(const json& v, const std::string& where) {
  const std::string source = text(v, where);
  if (source.empty())
    fault(where, "must not be empty");
  try {
    return std::make_shared<const std::regex>(source, std::regex::ECMAScript);
  } catch (const std::regex_error& e) {
    fault(where, std::string("is no regular expression: ") + e.what());
  }
}

EventPattern event_pattern(const json& v, const std::string& where) {
  EventPattern p;
  if (v.is_string()) {
    // "<line> rises" or "<line> falls".
    p.text = v.get<std::string>();
    const size_t blank = p.text.rfind(' ');
    const std::string edge = blank == std::string::npos ? "" : p.text.substr(blank + 1);
    p.pin = blank == std::string::npos ? -1 : parse_pin(p.text.substr(0, blank));
    if (p.pin < 0 || (edge != "rises" && edge != "falls"))
      fault(where, "must be \"<line> rises\", \"<line> falls\" or an object (a line: " +
                       line_choices() + ")");
    p.level = edge == "rises" ? 1 : 0;
    return p;
  }
  only_keys(v, where, {"line", "level", "com1", "com1_match", "com2", "strip", "lens"});
  int whats = 0;
  for (const char* k : {"line", "com1", "com1_match", "com2", "strip", "lens"})
    whats += v.contains(k) ? 1 : 0;
  if (whats != 1)
    fault(where, "needs exactly one of line, com1, com1_match, com2, strip, lens");
  if (v.contains("level") != v.contains("line"))
    fault(where, "a line needs its \"level\", and only a line has one");
  p.text = v.dump();
  if (v.contains("line")) {
    p.kind = PatternKind::kLine;
    p.pin = line_pin(v["line"], where + ".line");
    p.level = whole(v["level"], where + ".level", 0, 1);
  } else if (v.contains("com1")) {
    p.kind = PatternKind::kCom1;
    p.bytes = text(v["com1"], where + ".com1");
    if (p.bytes.empty())
      fault(where + ".com1", "must not be empty");
  } else if (v.contains("com1_match")) {
    p.kind = PatternKind::kCom1Match;
    p.match = expression(v["com1_match"], where + ".com1_match");
  } else if (v.contains("com2")) {
    p.kind = PatternKind::kCom2;
    p.bytes = hex_frame(v["com2"], where + ".com2");
  } else if (v.contains("strip")) {
    p.kind = PatternKind::kStrip;
    p.leds = strip_colours(v["strip"], where + ".strip");
  } else {
    p.kind = PatternKind::kLens;
    p.lens = whole(v["lens"], where + ".lens", 0, 65535);
  }
  return p;
}

}  // namespace scenario_json
}  // namespace kivsim
