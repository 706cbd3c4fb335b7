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
// The figures while the process runs, without what is open or running only
// for a moment (a lens transfer's descriptor, a light's switch-off thread):
// the least of a few looks, 20 ms apart.
ProcessFigures settled_figures();

}  // namespace soak
