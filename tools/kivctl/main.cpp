// SPDX-License-Identifier: MIT
// kivctl: the device from the command line. It is for a device whose
// application is stopped: two programs cannot both drive its lines and ports.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "command_line.h"
#include "results.h"

int main(int argc, char** argv) {
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
