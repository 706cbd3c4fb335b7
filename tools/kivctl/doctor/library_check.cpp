// SPDX-License-Identifier: MIT
// The installed libkiv_io.so: it loads with its dependencies, and its version
// beside the tool's. It is opened in a child process, so that the tool keeps
// one instance of everything.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "doctor/checks.h"
#include "kiv_version.h"

namespace kivctl {
namespace {

constexpr int kChildMs = 10000;

void write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0)
      return;
    done += static_cast<size_t>(n);
  }
}

// In the child: "ok VERSION PATH", "old PATH" or "error TEXT" on `fd`.
[[noreturn]] void load_in_child(int fd) {
  void* lib = dlopen("libkiv_io.so", RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* why = dlerror();
    write_all(fd, std::string("error ") + (why ? why : "unknown"));
    _exit(0);
  }
  void* sym = dlsym(lib, "kiv_io_version");
  Dl_info where{};
  std::string path =
      dladdr(sym ? sym : dlsym(lib, "get_value_by_config"), &where) && where.dli_fname
          ? where.dli_fname
          : "libkiv_io.so";
  if (!sym)
    write_all(fd, "old " + path);
  else
    write_all(fd, std::string("ok ") + reinterpret_cast<const char* (*)()>(sym)() + " " + path);
  _exit(0);
}

// The child's answer, or "" when it gave none in time.
std::string ask_child() {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0)
    return "";
  pid_t pid = fork();
  if (pid == 0) {
    close(pipe_fds[0]);
    load_in_child(pipe_fds[1]);
  }
  close(pipe_fds[1]);
  std::string answer;
  if (pid > 0) {
    pollfd p{pipe_fds[0], POLLIN, 0};
    char buf[512];
    while (poll(&p, 1, kChildMs) > 0) {
      ssize_t n = read(pipe_fds[0], buf, sizeof buf);
      if (n <= 0)
        break;
      answer.append(buf, static_cast<size_t>(n));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  close(pipe_fds[0]);
  return answer;
}

}  // namespace

Check check_library() {
  Check c{"library"};
  const std::string mine = kiv_io_version();
  std::string answer = ask_child();
  if (answer.rfind("ok ", 0) == 0) {
    std::string rest = answer.substr(3);
    std::string version = rest.substr(0, rest.find(' '));
    std::string path = rest.find(' ') == std::string::npos ? "" : rest.substr(rest.find(' ') + 1);
    c.details.push_back("loaded from " + path);
    if (version == mine) {
      c.summary = "libkiv_io.so " + version + " loads with its dependencies, as the tool's " + mine;
      return c;
    }
    c.fail(Verdict::kWarning, "libkiv_io.so is " + version + ", the tool was built with " + mine,
           "install the library and kivctl from the same package version");
    return c;
  }
  if (answer.rfind("old ", 0) == 0) {
    c.details.push_back("loaded from " + answer.substr(4));
    c.fail(Verdict::kWarning,
           "libkiv_io.so loads but has no kiv_io_version(): it is older than the tool",
           "install the library and kivctl from the same package version");
    return c;
  }
  c.fail(Verdict::kFailure,
         "libkiv_io.so does not load: " +
             (answer.rfind("error ", 0) == 0 ? answer.substr(6) : std::string("no answer")),
         "install the library's package (and its dependencies, WiringPi and inih)");
  return c;
}

}  // namespace kivctl
