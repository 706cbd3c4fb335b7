// SPDX-License-Identifier: MIT
#include "program_output.h"

#include <unistd.h>

#include <cerrno>

namespace kivsim {

bool ProgramOutput::on_readable(int fd, EventLog& log) {
  char buf[4096];
  // Bounded, so that a program that writes without pause cannot starve the
  // other sources; poll reports the rest at once.
  for (int round = 0; round < kMaxReadsPerWake; ++round) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno == EAGAIN)
      return true;
    // A pseudo-terminal reports the end of its last writer as EIO.
    if (n <= 0)
      return false;
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == '\n') {
        show(pending_, log);
        pending_.clear();
      } else {
        pending_ += buf[i];
        if (pending_.size() >= kMaxLine) {
          show(pending_, log);
          pending_.clear();
        }
      }
    }
  }
  return true;
}

void ProgramOutput::finish(EventLog& log) {
  if (pending_.empty())
    return;
  show(pending_, log);
  pending_.clear();
}

void ProgramOutput::show(std::string line, EventLog& log) {
  while (!line.empty() && line.back() == '\r')
    line.pop_back();
  log.note(EventSource::kProgram, kind_, line, EventTiming::kArrival);
}

}  // namespace kivsim
