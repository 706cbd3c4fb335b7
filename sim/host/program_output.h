// SPDX-License-Identifier: MIT
// The program's standard output or error, shown line by line.
#pragma once

#include <string>

#include "event_log.h"

namespace kivsim {

class ProgramOutput {
 public:
  static constexpr size_t kMaxLine = 4096;
  static constexpr int kMaxReadsPerWake = 16;
  explicit ProgramOutput(EventKind kind) : kind_(kind) {}
  // Reads what `fd` holds and shows each complete line (a CR before the
  // newline dropped). Returns false once the stream has ended.
  bool on_readable(int fd, EventLog& log);
  // Shows an unfinished line (the program went quiet, or ended).
  void finish(EventLog& log);
  bool has_partial() const { return !pending_.empty(); }

 private:
  void show(std::string line, EventLog& log);
  EventKind kind_;
  std::string pending_;
};

}  // namespace kivsim
