// SPDX-License-Identifier: MIT
#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace kivsim {
namespace {

// A pseudo-terminal pair whose slave passes bytes unchanged (no CR added).
bool open_output_pty(int& master, int& slave) {
  master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0)
    return false;
  char name[64];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0 ||
      (slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
    close(master);
    master = -1;
    return false;
  }
  termios t{};
  if (tcgetattr(slave, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return true;
}

void close_fd(int& fd) {
  if (fd >= 0)
    close(fd);
  fd = -1;
}

// Runs in the forked child: only async-signal-safe calls until exec. With
// `out` -1 the program keeps the launcher's standard input and output.
[[noreturn]] void exec_child(char* const* argv, char* const* envp, int out, int err, int report) {
  setsid();
  // The program does not outlive a launcher that is killed.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  if (out >= 0) {
    int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd >= 0)
      dup2(null_fd, 0);
    dup2(out, 1);
  }
  dup2(err, 2);
  execvpe(argv[0], argv, envp);
  int code = errno;
  ssize_t ignored = write(report, &code, sizeof code);
  (void)ignored;
  _exit(127);
}

}  // namespace

std::vector<std::string> merged_environment(const std::vector<std::string>& set) {
  std::vector<std::string> out;
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& s : set)
      if (s.compare(0, name.size() + 1, name + "=") == 0)
        replaced = true;
    if (!replaced)
      out.push_back(entry);
  }
  out.insert(out.end(), set.begin(), set.end());
  return out;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !ended_) {
    signal_group(SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  close_output();
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         std::string& error) {
  // exec refuses a directory, a device or a FIFO with EACCES, whose text
  // ("Permission denied") would send the reader to the file's mode.
  struct stat st;
  if (argv[0].find('/') != std::string::npos && stat(argv[0].c_str(), &st) == 0 &&
      !S_ISREG(st.st_mode)) {
    exec_failed_ = true;
    error = "cannot run " + argv[0] + ": not a regular file";
    return false;
  }
  std::vector<std::string> env_lines = merged_environment(env);
  std::vector<char*> args, envp;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env_lines)
    envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  int out_slave = -1, err_slave = -1;
  if ((!pass_through_ && !open_output_pty(out_fd_, out_slave)) ||
      !open_output_pty(err_fd_, err_slave)) {
    error = std::string("cannot open a pseudo-terminal for the program's output: ") +
            std::strerror(errno);
    close_fd(out_slave);
    close_output();
    return false;
  }
  // Tells the launcher why exec failed; closes unseen when exec succeeds.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    close_fd(out_slave);
    close_fd(err_slave);
    close_output();
    return false;
  }
  pid_ = fork();
  if (pid_ == 0)
    exec_child(args.data(), envp.data(), out_slave, err_slave, report[1]);
  int fork_errno = errno;
  close(report[1]);
  close_fd(out_slave);
  close_fd(err_slave);
  if (pid_ < 0) {
    close(report[0]);
    close_output();
    error = std::string("fork: ") + std::strerror(fork_errno);
    return false;
  }
  int code = 0;
  ssize_t n;
  do {
    n = read(report[0], &code, sizeof code);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof code)) {
    waitpid(pid_, &status_, 0);
    ended_ = true;
    exec_failed_ = true;
    close_output();
    error = "cannot run " + argv[0] + ": " + std::strerror(code);
    return false;
  }
  return true;
}

void ChildProcess::signal_group(int sig) const {
  if (pid_ <= 0 || ended_)
    return;
  // The group may be gone while the program itself is not reaped yet.
  if (kill(-pid_, sig) != 0)
    kill(pid_, sig);
}

bool ChildProcess::reap() {
  if (ended_ || pid_ <= 0)
    return ended_;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    status_ = status;
    ended_ = true;
  }
  return ended_;
}

int ChildProcess::exit_code() const {
  if (WIFEXITED(status_))
    return WEXITSTATUS(status_);
  if (WIFSIGNALED(status_))
    return 128 + WTERMSIG(status_);
  return 1;
}

std::string ChildProcess::status_text() const {
  if (WIFEXITED(status_))
    return "exited with status " + std::to_string(WEXITSTATUS(status_));
  if (WIFSIGNALED(status_)) {
    int sig = WTERMSIG(status_);
    return "ended by signal " + std::to_string(sig) + " (" + strsignal(sig) + ")";
  }
  return "ended";
}

void ChildProcess::close_output() {
  close_fd(out_fd_);
  close_fd(err_fd_);
}

}  // namespace kivsim
