// SPDX-License-Identifier: MIT
// The program run on the simulated board: started (setsid) in a process group of its own,
// with standard input on /dev/null and standard output and error on
// pseudo-terminals of the launcher (so the program keeps line-buffered output
// and the launcher shows each line in order with the board's events).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kivsim {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `argv` (searched in PATH) with the launcher's environment, in which
  // each "NAME=value" of `env` replaces or adds that variable. The signals
  // blocked in the launcher are unblocked in the program. Returns false with
  // `error` when the program could not be started (`exec_failed()` then tells
  // whether the program itself was missing or not executable).
  bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             std::string& error);

  pid_t pid() const { return pid_; }
  // Masters of the program's standard output and error (non-blocking), or -1.
  // Before start: the program keeps the launcher's standard input and output
  // (out_fd() is then -1).
  void pass_terminal_through() { pass_through_ = true; }
  int out_fd() const { return out_fd_; }
  int err_fd() const { return err_fd_; }
  bool exec_failed() const { return exec_failed_; }

  // Sends `sig` to the program's process group (the program and what it started).
  void signal_group(int sig) const;
  // Collects the program's status if it has ended. True once it has.
  bool reap();
  bool ended() const { return ended_; }
  // The exit status, or 128 + the signal that ended the program.
  int exit_code() const;
  // "exited with status 0", "ended by signal 15 (Terminated)".
  std::string status_text() const;
  // Closes the output masters (after they were read to the end).
  void close_output();

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  bool pass_through_ = false;
  int err_fd_ = -1;
  bool ended_ = false;
  bool exec_failed_ = false;
  int status_ = 0;
};

// "NAME=value" lines of the launcher's environment with `set` applied.
std::vector<std::string> merged_environment(const std::vector<std::string>& set);

}  // namespace kivsim
