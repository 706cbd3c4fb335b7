// SPDX-License-Identifier: MIT
// The messages of the view's live updates (server-sent events on /events),
// and where a page that reconnects resumes. Every stream starts with "run",
// naming the run it follows (one launcher's run: a launcher started again
// on the same port has another), and every batch of events carries the id
// "RUN:SEQ" of its last event, which the browser sends back as Last-Event-ID
// when it reconnects. A page that sees a run other than the one it shows
// starts over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "event_stream.h"

namespace kivsim {

// A name for a run: 16 hex digits from the system's random source.
std::string new_run_name();

// "run": {"run": RUN}.
std::string run_message(const std::string& run);
// "events", id RUN:SEQ of the last of `events` (not empty): {"dropped": the
// events lost between `after` and the first of them, "events": each as its
// trace line}.
std::string events_message(const std::string& run, uint64_t after,
                           const std::vector<Event>& events);
// "end": the run's stream has closed and will not come back.
std::string end_message();
// "refused": {"error": why the view does not serve this page}.
std::string refused_message(const std::string& error);

// The seq after which the events of `run` resume for a page that last saw
// `last_event_id`: its SEQ when it names `run`, else 0 (from the first
// event: a page of another run, or a new page).
uint64_t resume_after(const std::string& last_event_id, const std::string& run);

}  // namespace kivsim
