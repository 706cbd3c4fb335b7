// SPDX-License-Identifier: MIT
#include "terminal_log.h"

#include "led_text.h"

namespace kivsim {

std::string TerminalLog::format(const Event& event) const {
  const char* tag = source_name(event.source);
  if (event.source == EventSource::kProgram)
    tag = kind_name(event.kind);  // "out" or "err"
  else if (event.source == EventSource::kLight)
    tag = "state";
  char head[48];
  std::snprintf(head, sizeof head, "%7.3f%c %-5s ", static_cast<double>(event.time_ns) / 1e9,
                event.timing == EventTiming::kArrival ? '~' : ' ', tag);
  std::string line = head;
  if (colour_ && event.source == EventSource::kStrip && event.kind == EventKind::kRender)
    line += strip_colour_blocks(event.leds) + " ";
  line += event.text;
  if (event.late)
    line += "   (came late: shown after later events)";
  return line;
}

void TerminalLog::show(const Event& event) {
  std::fprintf(out_, "%s\n", format(event).c_str());
  std::fflush(out_);
}

}  // namespace kivsim
