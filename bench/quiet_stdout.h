// SPDX-License-Identifier: MIT
// Standard output sent to /dev/null while a benchmark measures: the library
// prints a line per open, set-up or status colour, and the figure would be
// the terminal's.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace bench {

class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    kept_ = dup(1);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      dup2(null, 1);
      close(null);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (kept_ >= 0) {
      dup2(kept_, 1);
      close(kept_);
    }
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int kept_ = -1;
};

}  // namespace bench
