// SPDX-License-Identifier: MIT
// A trace written by --trace read back into its events, in order: for tests
// of whole runs and for programs that look at a run afterwards.
#pragma once

#include <string>
#include <vector>

#include "event.h"

namespace kivsim {

// Reads every line of the trace at `path`. False, with `error` naming the
// path and the number of the first line that is no event and why, or why
// the file cannot be read; `events` then holds the lines before it.
bool read_trace(const std::string& path, std::vector<Event>& events, std::string& error);

}  // namespace kivsim
