// SPDX-License-Identifier: MIT
// What the view's server allows a client. The page's own requests are a few
// hundred bytes, sent at once, and each open page holds one live-update
// stream; whatever goes beyond that is another program, or another web page
// in the same browser, and is refused or cut off instead of waited for. The
// defaults are the launcher's; tests shorten the times.
#pragma once

#include <chrono>
#include <cstddef>

namespace kivsim {

struct ViewLimits {
  // Threads that serve connections, one connection each at a time; an open
  // live-update stream holds its thread.
  int workers = 16;
  // Live-update streams open at once (one per page), well below `workers` so
  // that the pages' other requests always find a thread. A page beyond them
  // gets the event "refused" and its connection ends.
  int live_streams = 4;
  // A request's body, judged by its Content-Length before a byte of it is
  // read: 411 without a length (a body in chunks), 413 above the limit.
  size_t body_bytes = 16 * 1024;
  // A request's line and headers together.
  size_t head_bytes = 64 * 1024;
  // From a request's first byte to its last, however it trickles in.
  std::chrono::milliseconds request_time{5000};
  // A connection quiet this long between requests is closed.
  std::chrono::milliseconds idle_time{5000};
  // Each write of an answer, a batch of live updates included, must be taken
  // by the client within this.
  std::chrono::milliseconds write_time{10000};
};

}  // namespace kivsim
