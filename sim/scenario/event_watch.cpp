// SPDX-License-Identifier: MIT
#include "event_watch.h"

#include "board_map.h"

namespace kivsim {
namespace {

// Text longer than this is matched in its tail only: a flood on com1 must not
// make every chunk cost a search of the whole run.
constexpr size_t kTextTail = 64 * 1024;

}  // namespace

bool strip_shows(const std::vector<uint32_t>& leds, const std::vector<uint32_t>& want) {
  bool same = want.size() == 1 ? !leds.empty() : leds.size() == want.size();
  for (size_t i = 0; same && i < leds.size(); ++i)
    same = (leds[i] & 0xFFFFFF) == want[want.size() == 1 ? 0 : i];
  return same;
}

int line_level(const DeviceState& state, int pin) {
  if (pin < 0 || pin >= kBoardPins)
    return -1;
  if (is_driven_pin(pin))
    return state.output[pin];
  return state.input[pin] >= 0 ? state.input[pin] : state.output[pin];
}

bool EventWatch::state_matches() const {
  switch (pattern_.kind) {
    case PatternKind::kLine:
      return line_level(state_, pattern_.pin) == pattern_.level;
    case PatternKind::kStrip:
      return state_.renders > 0 && strip_shows(state_.leds, pattern_.leds);
    case PatternKind::kLens:
      return state_.lens_value == pattern_.lens;
    default:
      return false;
  }
}

bool EventWatch::see(const Event& e) {
  switch (pattern_.kind) {
    case PatternKind::kCom1:
    case PatternKind::kCom1Match: {
      if (e.source != EventSource::kCom1 || e.kind != EventKind::kReceived)
        return false;
      text_ += e.bytes;
      if (text_.size() > kTextTail)
        text_.erase(0, text_.size() - kTextTail);
      // What follows an occurrence is kept: it may begin the next one.
      size_t end = std::string::npos;
      std::smatch m;
      if (pattern_.kind == PatternKind::kCom1) {
        const size_t at = text_.find(pattern_.bytes);
        end = at == std::string::npos ? at : at + pattern_.bytes.size();
      } else if (std::regex_search(text_, m, *pattern_.match)) {
        end = static_cast<size_t>(m.position(0) + m.length(0));
      }
      if (end == std::string::npos)
        return false;
      text_.erase(0, end);
      return true;
    }
    case PatternKind::kCom2:
      return e.source == EventSource::kCom2 && e.kind == EventKind::kFrame &&
             e.bytes == pattern_.bytes;
    default: {
      const bool before = state_matches();
      fold_event(state_, e);
      return !before && state_matches();
    }
  }
}

}  // namespace kivsim
