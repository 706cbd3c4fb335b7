// SPDX-License-Identifier: MIT
// kivctl: the device from the command line. It is for a device whose
// application is stopped: two programs cannot both drive its lines and ports.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "command_line.h"
#include "results.h"

namespace {

// Standard descriptors the tool was started without are /dev/null, so that
// no port or file the tool opens takes their numbers (a port on descriptor
// 0 would be read as the keyboard).
void fill_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  fill_standard_descriptors();
  // A reader that goes away (a pipe into head) is seen as a failed write, so
  // that a watch ends in order and closes the device.
  std::signal(SIGPIPE, SIG_IGN);
  kivctl::separate_results();
  int status;
  try {
    kivctl::Session session;
    std::vector<std::string> words(argv + 1, argv + argc);
    status = kivctl::run_command(session, words);
    session.device.close();
  } catch (const std::exception& e) {
    // Whatever escapes a command is the tool's fault: one line, not an abort.
    status = kivctl::kUsage;
    kivctl::complain(std::string("internal error: ") + e.what());
  }
  kivctl::close_results();
  return status;
}
