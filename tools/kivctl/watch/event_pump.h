// SPDX-License-Identifier: MIT
// Prints watched events as they come until enough came, the time is up or a
// stop signal arrived.
#pragma once

#include <string>
#include <vector>

#include "device.h"
#include "watch/event_printer.h"

namespace kivctl {

struct WatchLimits {
  long count = 0;        // stop after this many events (0: no limit)
  double timeout_s = 0;  // stop after this many seconds (0: no limit)
};

// Watches `sources` (see EventSources, which opens ports with `line`) and
// prints their events until the limits, a stop signal, or the output's reader
// has gone. Returns kDone, kFailed when --count events did not come within
// --timeout or events were dropped because the output was not read, or kUsage.
int watch_sources(Session& session, const std::vector<std::string>& sources,
                  const PrintStyle& style, const WatchLimits& limits, const std::string& command,
                  const LineSettings* line = nullptr);

}  // namespace kivctl
