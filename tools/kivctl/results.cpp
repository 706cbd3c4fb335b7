// SPDX-License-Identifier: MIT
#include "results.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace kivctl {
namespace {

FILE* g_results = stdout;
FILE* g_complaints = stderr;
bool g_quiet = false;
std::string g_context;

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

void quiet_library() {
  if (g_quiet)
    return;
  g_quiet = true;
  std::fflush(stdout);
  std::fflush(stderr);
  const int kept = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  FILE* f = kept < 0 ? nullptr : fdopen(kept, "w");
  if (!f) {
    if (kept >= 0)
      close(kept);
    return;  // no standard error to keep: complaints would vanish with the log
  }
  setvbuf(f, nullptr, _IONBF, 0);
  g_complaints = f;
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0)
    return;
  dup2(null, STDOUT_FILENO);
  dup2(null, STDERR_FILENO);
  close(null);
}

void close_results() {
  std::fflush(g_results);
  if (g_results != stdout)
    std::fclose(g_results);
  g_results = stdout;
  if (g_complaints != stderr)
    std::fclose(g_complaints);
  g_complaints = stderr;
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
  std::fprintf(g_complaints, "kivctl: %s%s\n", g_context.c_str(), text.c_str());
  return kFailed;
}

void set_complaint_context(const std::string& context) {
  g_context = context;
}

void notice(const std::string& text) {
  if (g_quiet)
    return;
  std::fflush(stdout);
  std::fprintf(g_complaints, "kivctl: %s\n", text.c_str());
}

}  // namespace kivctl
