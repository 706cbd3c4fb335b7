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

}  // namespace kivsim
