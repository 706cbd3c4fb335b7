// SPDX-License-Identifier: MIT
#include "results.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace kivctl {
namespace {

FILE* g_results = stdout;
FILE* g_complaints = stderr;
bool g_quiet = false;
int g_kept_out = -1;  // the log's descriptor while it is kept quiet
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
  std::fflush(stdout);
  std::fflush(stderr);
  const int kept_out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  const int kept_err = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  FILE* f = kept_err < 0 ? nullptr : fdopen(kept_err, "w");
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (!f || kept_out < 0 || null < 0) {
    // Nothing to keep the complaints on: the log stays where it is.
    if (f)
      std::fclose(f);
    else if (kept_err >= 0)
      close(kept_err);
    for (int fd : {kept_out, null})
      if (fd >= 0)
        close(fd);
    return;
  }
  setvbuf(f, nullptr, _IONBF, 0);
  g_complaints = f;
  g_kept_out = kept_out;
  dup2(null, STDOUT_FILENO);
  dup2(null, STDERR_FILENO);
  close(null);
  g_quiet = true;
}

void loud_library() {
  if (!g_quiet)
    return;
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(g_kept_out, STDOUT_FILENO);
  dup2(fileno(g_complaints), STDERR_FILENO);
  close(g_kept_out);
  g_kept_out = -1;
  std::fclose(g_complaints);
  g_complaints = stderr;
  g_quiet = false;
}

bool library_quiet() {
  return g_quiet;
}

void close_results() {
  std::fflush(g_results);
  if (g_results != stdout)
    std::fclose(g_results);
  g_results = stdout;
  loud_library();
}

FILE* results() {
  return g_results;
}

namespace {

// The first write error since the results were last delivered: the one that
// says what became of them (a later call may change errno).
int g_write_error = 0;

void note_write(bool ok) {
  if (!ok && g_write_error == 0)
    g_write_error = errno != 0 ? errno : EIO;
}

}  // namespace

Delivery deliver_results() {
  note_write(std::fflush(g_results) == 0);
  if (g_write_error == 0 && !std::ferror(g_results))
    return Delivery::kTaken;
  const int error = g_write_error != 0 ? g_write_error : EIO;
  g_write_error = 0;
  std::clearerr(g_results);
  if (error == EPIPE)
    return Delivery::kReaderGone;
  complain(std::string("the results could not be written: ") + std::strerror(error));
  return Delivery::kWriteFailed;
}

void result_line(const std::string& line) {
  note_write(std::fwrite(line.data(), 1, line.size(), g_results) == line.size());
  note_write(std::fputc('\n', g_results) != EOF);
}

void result_bytes(const std::string& bytes) {
  note_write(std::fwrite(bytes.data(), 1, bytes.size(), g_results) == bytes.size());
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
