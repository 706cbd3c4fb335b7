// SPDX-License-Identifier: MIT
#include "typed_commands.h"

#include <unistd.h>

#include <cerrno>

namespace kivsim {

void TypedCommands::on_readable(double now_ms, EventLog& log) {
  char buf[1024];
  // One read per wake-up: the input may be a terminal shared with the shell,
  // so it stays blocking and poll says when a read will not wait.
  ssize_t n = read(fd_, buf, sizeof buf);
  if (n < 0 && errno == EINTR)
    return;
  if (n <= 0) {
    fd_ = -1;
    if (!pending_.empty())
      take_line(now_ms, log);
    return;
  }
  for (ssize_t i = 0; i < n; ++i) {
    if (buf[i] == '\n') {
      take_line(now_ms, log);
    } else if (pending_.size() < kMaxLine) {
      pending_ += buf[i];
    }
  }
}

void TypedCommands::take_line(double now_ms, EventLog& log) {
  Command cmd;
  std::string error;
  ParseResult r = parse_command(pending_, cmd, error);
  pending_.clear();
  if (r == ParseResult::kError)
    log.line("error: " + error);
  if (r == ParseResult::kCommand)
    queue_.push(cmd, now_ms);
}

}  // namespace kivsim
