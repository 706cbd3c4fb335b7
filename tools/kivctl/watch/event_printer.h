// SPDX-License-Identifier: MIT
// Watched events, one line each, as text or JSON.
#pragma once

#include <string>

#include "results.h"
#include "watch/event_queue.h"

namespace kivctl {

struct PrintStyle {
  bool json = false;       // one JSON object a line
  bool hex = false;        // serial bytes in hex rather than as quoted text
  bool realtime = false;   // the wall clock rather than the monotonic one
  bool timestamp = true;   // a time at the start of each line
  bool raw_bytes = false;  // serial bytes as they came, no line of their own
};

// Prints `e` and says what became of it (see deliver_results()).
Delivery print_event(const WatchedEvent& e, const PrintStyle& style);

}  // namespace kivctl
