// SPDX-License-Identifier: MIT
#include "strip_wire.h"

#include <climits>

namespace kivsim {
namespace link {

size_t encode_init(const StripInit& i, char* out, size_t room) {
  LineWriter w(out, room);
  w.text("init ").number(i.result).text(" ").number(i.freq).text(" ").number(i.dmanum);
  w.text(" ").number(i.gpionum).text(" ").number(i.count).text(" ").number(i.strip_type);
  w.text(" ").number(i.brightness);
  return w.finish();
}

size_t encode_render(const uint32_t* leds, int count, char* out, size_t room) {
  if (count > kStripMaxLeds)
    count = kStripMaxLeds;
  LineWriter w(out, room);
  w.text("render ").number(count);
  for (int i = 0; i < count; ++i)
    w.text(" ").hex6(leds[i] & 0xFFFFFF);
  return w.finish();
}

size_t encode_fault(std::string_view text, char* out, size_t room) {
  LineWriter w(out, room);
  w.text("fault ");
  // One line, whatever the text holds.
  for (size_t at = 0; at < text.size() && w.ok();) {
    const size_t end = text.find('\n', at);
    w.text(text.substr(at, end - at));
    if (end == std::string_view::npos)
      break;
    w.text(" ");
    at = end + 1;
  }
  return w.finish();
}

size_t encode(const StripReport& r, char* out, size_t room) {
  size_t head = 0;
  if (r.time_ns != kNoTime && (head = put_stamp(r.time_ns, out, room)) == 0)
    return 0;
  out += head;
  room -= head;
  size_t n = 0;
  switch (r.kind) {
    case StripReportKind::kInit:
      n = encode_init(r.init, out, room);
      break;
    case StripReportKind::kRender:
      n = encode_render(r.leds.data(), static_cast<int>(r.leds.size()), out, room);
      break;
    case StripReportKind::kFini:
      n = LineWriter(out, room).text("fini").finish();
      break;
    case StripReportKind::kFault:
      n = encode_fault(r.text, out, room);
      break;
    case StripReportKind::kLost: {
      LineWriter w(out, room);
      n = w.text("lost ").number(r.count).finish();
      break;
    }
  }
  return n == 0 ? 0 : head + n;
}

bool decode(std::string_view line, StripReport& report) {
  StripReport r;
  take_stamp(line, r.time_ns);
  WordReader in(line);
  std::string_view name;
  if (!in.word(name))
    return false;
  bool ok = false;
  if (name == "fini") {
    r.kind = StripReportKind::kFini;
    ok = true;
  } else if (name == "fault") {
    // The text is the rest of the line, spaces and all.
    std::string_view text;
    if (!in.rest(text) || text.empty())
      return false;
    r.kind = StripReportKind::kFault;
    r.text = std::string(text);
    report = std::move(r);
    return true;
  } else if (name == "lost") {
    r.kind = StripReportKind::kLost;
    ok = in.number(1, INT64_MAX / 4, r.count);
  } else if (name == "init") {
    r.kind = StripReportKind::kInit;
    StripInit& i = r.init;
    ok = in.number(INT_MIN, INT_MAX, i.result) && in.number(0, UINT32_MAX, i.freq) &&
         in.number(INT_MIN, INT_MAX, i.dmanum) && in.number(INT_MIN, INT_MAX, i.gpionum) &&
         in.number(INT_MIN, INT_MAX, i.count) && in.number(INT_MIN, INT_MAX, i.strip_type) &&
         in.number(0, 255, i.brightness);
  } else if (name == "render") {
    r.kind = StripReportKind::kRender;
    int count = 0;
    ok = in.number(0, kStripMaxLeds, count);
    for (int i = 0; ok && i < count; ++i) {
      uint32_t colour = 0;
      ok = in.hex6(colour);
      r.leds.push_back(colour);
    }
  }
  if (!ok || !in.at_end())
    return false;
  report = std::move(r);
  return true;
}

}  // namespace link
}  // namespace kivsim
