// SPDX-License-Identifier: MIT
// Where the launcher's parts report what they see: each report becomes an
// event of the run's stream, stamped with the time it happened (now, for what
// happens in the launcher or is read by it; the stand-ins' own time for their
// reports). The readers of the stream (terminal log, trace, scenario checker,
// view) show and check them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "event_stream.h"

namespace kivsim {

class EventLog {
 public:
  explicit EventLog(EventStream& stream) : stream_(stream) {}
  // Sets the time origin to now.
  void restart();
  // Seconds since the origin.
  double elapsed() const;
  EventStream& stream() { return stream_; }

  // An event of `source` and `kind` stamped now.
  Event make(EventSource source, EventKind kind, std::string text,
             EventTiming timing = EventTiming::kSource) const;
  void post(Event event) {
    if (watcher_)
      watcher_(event);
    stream_.post(std::move(event));
  }
  // Sees every event as it is posted, in the order of posting (not yet in
  // time order, nor folded), so that the run can act on it at once. It must
  // not post.
  void watch(std::function<void(const Event&)> watcher) { watcher_ = std::move(watcher); }
  // Posts an event of `source` and `kind` stamped now, with its text only.
  void note(EventSource source, EventKind kind, const std::string& text,
            EventTiming timing = EventTiming::kSource);
  // A note of the launcher itself.
  void line(const std::string& text) { note(EventSource::kSim, EventKind::kNote, text); }

 private:
  EventStream& stream_;
  std::function<void(const Event&)> watcher_;
};

}  // namespace kivsim
