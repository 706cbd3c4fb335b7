// SPDX-License-Identifier: MIT
// kivctl: the device from the command line. It is for a device whose
// application is stopped: two programs cannot both drive its lines and ports.
#include <string>
#include <vector>

#include "command_line.h"
#include "results.h"

int main(int argc, char** argv) {
  kivctl::separate_results();
  kivctl::Session session;
  std::vector<std::string> words(argv + 1, argv + argc);
  int status = kivctl::run_command(session, words);
  session.device.close();
  kivctl::close_results();
  return status;
}
