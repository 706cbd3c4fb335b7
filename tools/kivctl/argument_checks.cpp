// SPDX-License-Identifier: MIT
#include "argument_checks.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kivctl {
namespace {

// Longer waits than this overflow the clocks' durations.
constexpr double kMostSeconds = 1e7;

bool read_whole(const std::string& text, long& value) {
  if (text.empty())
    return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

std::string in_quotes(const std::string& text) {
  return "'" + text + "'";
}

}  // namespace

CLI::Validator whole_in(long low, long high) {
  const std::string range = std::to_string(low) + " to " + std::to_string(high);
  return CLI::Validator(
      [low, high, range](std::string& text) -> std::string {
        long v;
        if (!read_whole(text, v))
          return in_quotes(text) + " is not a whole number";
        if (v < low || v > high)
          return text + " is not in range " + range;
        // Handed on as plain decimal: the parser would read "010" as octal.
        text = std::to_string(v);
        return "";
      },
      range);
}

CLI::Validator whole() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        long v;
        if (!read_whole(text, v) || v < INT_MIN || v > INT_MAX)
          return in_quotes(text) + " is not a whole number";
        text = std::to_string(v);
        return "";
      },
      "");
}

CLI::Validator count() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        long v;
        if (!read_whole(text, v) || v > INT_MAX)
          return in_quotes(text) + " is not a count (1 or more)";
        if (v < 1)
          return text + " is not a count (1 or more)";
        text = std::to_string(v);
        return "";
      },
      "1 or more");
}

CLI::Validator seconds() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        char* end = nullptr;
        errno = 0;
        const double v = text.empty() ? 0 : std::strtod(text.c_str(), &end);
        if (text.empty() || errno != 0 || *end != '\0' || !std::isfinite(v))
          return in_quotes(text) + " is not a number of seconds";
        if (v <= 0)
          return text + " s is no time to wait: give more than 0";
        if (v > kMostSeconds)
          return text + " s is more than 10000000 s (about 115 days)";
        return "";
      },
      "seconds");
}

CLI::Validator one_of(std::vector<std::string> words) {
  std::string list;
  for (const std::string& w : words)
    list += (list.empty() ? "" : ", ") + w;
  return CLI::Validator(
      [words, list](std::string& text) -> std::string {
        for (const std::string& w : words)
          if (text == w)
            return "";
        return in_quotes(text) + " is not one of " + list;
      },
      list);
}

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g s", seconds);
  return text;
}

}  // namespace kivctl
