// SPDX-License-Identifier: MIT
#include "event_log.h"

namespace kivsim {

void EventLog::restart() {
  stream_.set_origin(EventStream::now_mono_ns());
}

double EventLog::elapsed() const {
  return static_cast<double>(stream_.since_origin(EventStream::now_mono_ns())) / 1e9;
}

Event EventLog::make(EventSource source, const char* kind, std::string text,
                     EventTiming timing) const {
  Event e;
  e.time_ns = stream_.since_origin(EventStream::now_mono_ns());
  e.source = source;
  e.timing = timing;
  e.kind = kind;
  e.text = std::move(text);
  return e;
}

void EventLog::note(EventSource source, const char* kind, const std::string& text,
                    EventTiming timing) {
  post(make(source, kind, text, timing));
}

bool take_stamp(std::string& line, int64_t& mono_ns) {
  if (line.size() < 3 || line[0] != '@')
    return false;
  size_t i = 1;
  int64_t value = 0;
  // 19 digits hold any time the clock can have in an int64_t.
  while (i < line.size() && i <= 19 && line[i] >= '0' && line[i] <= '9')
    value = value * 10 + (line[i++] - '0');
  if (i == 1 || i >= line.size() || line[i] != ' ')
    return false;
  mono_ns = value;
  line.erase(0, i + 1);
  return true;
}

}  // namespace kivsim
