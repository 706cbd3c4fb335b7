// SPDX-License-Identifier: MIT
#include "strip_events.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "byte_text.h"
#include "led_text.h"

namespace kivsim {
namespace {

constexpr int kMaxLeds = 1024;

bool to_long(const std::string& word, int base, long& value) {
  if (word.empty())
    return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(word.c_str(), &end, base);
  return *end == '\0' && errno == 0;
}

std::string strip_type_name(long type) {
  switch (type) {
    case 0x00100800:
      return "RGB";
    case 0x00100008:
      return "RBG";
    case 0x00081000:
      return "GRB";
    case 0x00080010:
      return "GBR";
    case 0x00001008:
      return "BRG";
    case 0x00000810:
      return "BGR";
    default: {
      char text[24];
      std::snprintf(text, sizeof text, "type 0x%08lx", static_cast<unsigned long>(type));
      return text;
    }
  }
}

std::string describe_init(const std::vector<std::string>& w) {
  long v[7];
  for (int i = 0; i < 7; ++i)
    if (!to_long(w[static_cast<size_t>(i) + 1], 10, v[i]))
      return "";
  std::string config = std::to_string(v[1]) + " Hz, DMA " + std::to_string(v[2]) + ", GPIO " +
                       std::to_string(v[3]) + ", " + std::to_string(v[4]) + " LEDs, " +
                       strip_type_name(v[5]) + ", brightness " + std::to_string(v[6]);
  if (v[0] == 0)
    return "started: " + config;
  return "start failed (" + std::to_string(v[0]) + "): " + config;
}

}  // namespace

std::string describe_strip_report(const std::string& line, StripState& state, bool colour) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string word; in >> word;)
    w.push_back(word);
  const std::string unknown = "unknown report " + quoted_text(line);
  if (w.empty())
    return unknown;
  if (w[0] == "fini" && w.size() == 1)
    return "released";
  if (w[0] == "fault" && w.size() > 1) {
    ++state.faults;
    return "FAULT:" + line.substr(5);
  }
  if (w[0] == "init" && w.size() == 8) {
    std::string text = describe_init(w);
    return text.empty() ? unknown : text;
  }
  long count = 0;
  if (w[0] != "render" || w.size() < 2 || !to_long(w[1], 10, count) || count < 0 ||
      count > kMaxLeds || w.size() != static_cast<size_t>(count) + 2)
    return unknown;
  std::vector<uint32_t> leds;
  for (size_t i = 2; i < w.size(); ++i) {
    long word = 0;
    if (w[i].size() != 6 || !to_long(w[i], 16, word))
      return unknown;
    leds.push_back(static_cast<uint32_t>(word));
  }
  state.leds = leds;
  ++state.renders;
  return (colour ? strip_colour_blocks(leds) + " " : std::string()) + strip_colours_text(leds);
}

EventKind strip_report_kind(const std::string& line) {
  const std::string word = line.substr(0, line.find(' '));
  for (EventKind kind : {EventKind::kInit, EventKind::kRender, EventKind::kFini, EventKind::kFault})
    if (word == kind_name(kind))
      return kind;
  return EventKind::kUnknown;
}

}  // namespace kivsim
