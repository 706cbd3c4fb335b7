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

// "started: 800000 Hz, DMA 10, ..." for an init report, with its result in
// `result`; "" when a word is no number.
std::string describe_init(const std::vector<std::string>& w, int& result) {
  long v[7];
  for (int i = 0; i < 7; ++i)
    if (!to_long(w[static_cast<size_t>(i) + 1], 10, v[i]))
      return "";
  std::string config = std::to_string(v[1]) + " Hz, DMA " + std::to_string(v[2]) + ", GPIO " +
                       std::to_string(v[3]) + ", " + std::to_string(v[4]) + " LEDs, " +
                       strip_type_name(v[5]) + ", brightness " + std::to_string(v[6]);
  result = static_cast<int>(v[0]);
  if (v[0] == 0)
    return "started: " + config;
  return "start failed (" + std::to_string(v[0]) + "): " + config;
}

// The colours of a render report, false for one of another form.
bool read_leds(const std::vector<std::string>& w, std::vector<uint32_t>& leds) {
  long count = 0;
  if (w.size() < 2 || !to_long(w[1], 10, count) || count < 0 || count > kMaxLeds ||
      w.size() != static_cast<size_t>(count) + 2)
    return false;
  for (size_t i = 2; i < w.size(); ++i) {
    long word = 0;
    if (w[i].size() != 6 || !to_long(w[i], 16, word))
      return false;
    leds.push_back(static_cast<uint32_t>(word));
  }
  return true;
}

// The text of a report of a known form (its kind and fields set in `e`), or
// "" for any other.
std::string describe(const std::string& line, const std::vector<std::string>& w, Event& e) {
  if (w[0] == "fini" && w.size() == 1) {
    e.kind = EventKind::kFini;
    return "released";
  }
  if (w[0] == "fault" && w.size() > 1) {
    e.kind = EventKind::kFault;
    return "FAULT:" + line.substr(5);
  }
  if (w[0] == "init" && w.size() == 8) {
    e.kind = EventKind::kInit;
    return describe_init(w, e.result);
  }
  if (w[0] == "render" && read_leds(w, e.leds)) {
    e.kind = EventKind::kRender;
    return strip_colours_text(e.leds);
  }
  return "";
}

}  // namespace

void read_strip_report(const std::string& line, Event& event) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  Event e = event;
  std::string text = words.empty() ? "" : describe(line, words, e);
  if (text.empty()) {
    event.kind = EventKind::kUnknown;
    event.text = "unknown report " + quoted_text(line);
    return;
  }
  e.text = std::move(text);
  event = std::move(e);
}

}  // namespace kivsim
