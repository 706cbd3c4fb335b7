// SPDX-License-Identifier: MIT
// The process's own resources, as the soak compares them over the run.
#pragma once

namespace soak {

struct ProcessFigures {
  long rss_kib = 0;
  int descriptors = 0;
  int threads = 0;
};

ProcessFigures process_figures();

}  // namespace soak
