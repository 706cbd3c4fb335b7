// SPDX-License-Identifier: MIT
#include "watch/event_printer.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "byte_words.h"
#include "json_text.h"
#include "results.h"

namespace kivctl {
namespace {

std::string seconds(const timespec& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld.%09ld", static_cast<long long>(t.tv_sec), t.tv_nsec);
  return text;
}

}  // namespace

Delivery print_event(const WatchedEvent& e, const PrintStyle& style) {
  const timespec& t = style.realtime ? e.realtime : e.monotonic;
  bool port = e.level < 0 && e.source != "light";
  if (style.json) {
    nlohmann::json j = {{"time", std::stod(seconds(t))},
                        {"clock", style.realtime ? "realtime" : "monotonic"},
                        {"source", e.source}};
    if (e.level >= 0)
      j["level"] = e.level;
    else if (port)
      j["bytes"] = hex_of(e.bytes);
    else
      j["event"] = "notification";
    if (port)
      j["text"] = e.bytes;
    result_line(json_text(j));
    return deliver_results();
  }
  if (port && style.raw_bytes) {
    result_bytes(e.bytes);
    return deliver_results();
  }
  std::string line = style.timestamp ? seconds(t) + " " : "";
  line += e.source + " ";
  if (e.level >= 0)
    line += std::to_string(e.level);
  else if (port)
    line += style.hex ? hex_of(e.bytes) : quoted(e.bytes);
  else
    line += "notification";
  result_line(line);
  return deliver_results();
}

}  // namespace kivctl
