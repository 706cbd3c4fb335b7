// SPDX-License-Identifier: MIT
#include "strip_events.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "byte_text.h"
#include "led_text.h"
#include "strip_wire.h"

namespace kivsim {
namespace {

std::string strip_type_name(int type) {
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
      std::snprintf(text, sizeof text, "type 0x%08x", static_cast<unsigned>(type));
      return text;
    }
  }
}

// "started: 800000 Hz, DMA 10, ..." for an init report.
std::string describe_init(const link::StripInit& i) {
  std::string config = std::to_string(i.freq) + " Hz, DMA " + std::to_string(i.dmanum) + ", GPIO " +
                       std::to_string(i.gpionum) + ", " + std::to_string(i.count) + " LEDs, " +
                       strip_type_name(i.strip_type) + ", brightness " +
                       std::to_string(i.brightness);
  if (i.result == 0)
    return "started: " + config;
  return "start failed (" + std::to_string(i.result) + "): " + config;
}

// The report as an event: its kind, the fields of its kind and its text.
void describe(link::StripReport& r, Event& e) {
  switch (r.kind) {
    case link::StripReportKind::kInit:
      e.kind = EventKind::kInit;
      e.result = r.init.result;
      e.text = describe_init(r.init);
      break;
    case link::StripReportKind::kRender:
      e.kind = EventKind::kRender;
      e.leds = std::move(r.leds);
      e.text = strip_colours_text(e.leds);
      break;
    case link::StripReportKind::kFini:
      e.kind = EventKind::kFini;
      e.text = "released";
      break;
    case link::StripReportKind::kFault:
      e.kind = EventKind::kFault;
      e.text = "FAULT: " + r.text;
      break;
    case link::StripReportKind::kLost:
      e.kind = EventKind::kLost;
      e.result = static_cast<int>(std::min<long long>(r.count, INT32_MAX));
      e.text = std::to_string(r.count) + " reports lost: the launcher took them too slowly";
      break;
  }
}

}  // namespace

int64_t read_strip_report(const std::string& line, Event& event) {
  std::string_view text = line;
  int64_t time = link::kNoTime;
  link::take_stamp(text, time);
  link::StripReport report;
  if (!link::decode(text, report)) {
    event.kind = EventKind::kUnknown;
    event.text = "unknown report " + quoted_text(std::string(text));
    return time;
  }
  describe(report, event);
  return time;
}

}  // namespace kivsim
