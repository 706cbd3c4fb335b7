// SPDX-License-Identifier: MIT
#include "results.h"

#include <fcntl.h>
#include <unistd.h>

namespace kivctl {
namespace {

FILE* g_results = stdout;

}  // namespace

void separate_results() {
  std::fflush(stdout);
  int kept = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (kept < 0)
    return;  // no standard output to keep: results and log lines share it
  FILE* f = fdopen(kept, "w");
  if (!f) {
    close(kept);
    return;
  }
  setvbuf(f, nullptr, _IOLBF, 0);
  g_results = f;
  dup2(STDERR_FILENO, STDOUT_FILENO);
}

void close_results() {
  std::fflush(g_results);
  if (g_results != stdout)
    std::fclose(g_results);
  g_results = stdout;
}

FILE* results() {
  return g_results;
}

void result_line(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), g_results);
  std::fputc('\n', g_results);
}

int complain(const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "kivctl: %s\n", text.c_str());
  return kFailed;
}

}  // namespace kivctl
