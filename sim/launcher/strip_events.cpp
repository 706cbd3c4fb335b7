// SPDX-License-Identifier: MIT
#include "strip_events.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "byte_text.h"

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

std::string hex6(uint32_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "%06x", static_cast<unsigned>(word & 0xFFFFFF));
  return text;
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

// Two blocks per LED in its colour; an LED that is off is a grey shade, so
// that it shows on a dark terminal too. A dim colour (the palette's 0x20
// entries) is still plainly lit on an LED but near black on a screen, so
// its hue is shown at a readable brightness; the text keeps the true value.
std::string colour_blocks(const std::vector<uint32_t>& leds) {
  constexpr unsigned kReadable = 0xC0;
  std::string out;
  for (uint32_t word : leds) {
    unsigned rgb[3] = {(word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF};
    unsigned top = std::max(rgb[0], std::max(rgb[1], rgb[2]));
    if (top == 0) {
      out += "\x1b[38;2;90;90;90m\u2591\u2591\x1b[0m ";
      continue;
    }
    if (top < kReadable)
      for (unsigned& c : rgb)
        c = c * kReadable / top;
    char esc[32];
    std::snprintf(esc, sizeof esc, "\x1b[38;2;%u;%u;%um", rgb[0], rgb[1], rgb[2]);
    out += esc;
    out += "\u2588\u2588\x1b[0m ";
  }
  return out;
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

std::string strip_colour_blocks(const std::vector<uint32_t>& leds) {
  return colour_blocks(leds);
}

std::string strip_colours_text(const std::vector<uint32_t>& leds) {
  if (leds.empty())
    return "no LEDs";
  std::string out = std::to_string(leds.size()) + (leds.size() == 1 ? " LED:" : " LEDs:");
  bool same = true;
  for (uint32_t word : leds)
    same = same && word == leds[0];
  if (same && leds.size() > 1)
    return out + " " + hex6(leds[0]) + " x" + std::to_string(leds.size());
  for (uint32_t word : leds)
    out += " " + hex6(word);
  return out;
}

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
  return (colour ? colour_blocks(leds) + " " : std::string()) + strip_colours_text(leds);
}

}  // namespace kivsim
