// SPDX-License-Identifier: MIT
// An event as one line of the trace (fields in README, "Trace"), and that
// line read back: the trace writer, the view's live updates and the trace
// reader all speak it.
#pragma once

#include <string>

#include "event.h"

namespace kivsim {

// One event as its trace line: a JSON object, without the newline.
std::string trace_line(const Event& event);

// Reads one trace line back into the event it was written from. False, with
// `error` saying why, for a line that is no event: no JSON object, a source
// or kind the trace does not name, or a field of the wrong type. Fields it
// does not know are passed over, so that traces with more fields still read.
bool event_from_trace_line(const std::string& line, Event& event, std::string& error);

}  // namespace kivsim
