// SPDX-License-Identifier: MIT
#include "event_log.h"

#include <cstdint>

namespace kivsim {

void EventLog::restart() {
  stream_.set_origin(EventStream::now_mono_ns());
}

double EventLog::elapsed() const {
  return static_cast<double>(stream_.since_origin(EventStream::now_mono_ns())) / 1e9;
}

Event EventLog::make(EventSource source, EventKind kind, std::string text,
                     EventTiming timing) const {
  Event e;
  e.time_ns = stream_.since_origin(EventStream::now_mono_ns());
  e.source = source;
  e.timing = timing;
  e.kind = kind;
  e.text = std::move(text);
  return e;
}

void EventLog::note(EventSource source, EventKind kind, const std::string& text,
                    EventTiming timing) {
  post(make(source, kind, text, timing));
}

bool take_stamp(std::string& line, int64_t& mono_ns) {
  if (line.size() < 3 || line[0] != '@')
    return false;
  size_t i = 1;
  int64_t value = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    const int digit = line[i] - '0';
    if (value > (INT64_MAX - digit) / 10)
      return false;  // no time the clock can have
    value = value * 10 + digit;
  }
  if (i == 1 || i >= line.size() || line[i] != ' ')
    return false;
  mono_ns = value;
  line.erase(0, i + 1);
  return true;
}

}  // namespace kivsim
