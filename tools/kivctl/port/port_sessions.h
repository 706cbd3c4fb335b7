// SPDX-License-Identifier: MIT
// Exchanges with a serial port that last longer than one write: a request and
// its reply, and an interactive terminal.
#pragma once

#include <string>

#include "device.h"
#include "port/line_settings.h"

namespace kivctl {

struct AskArgs {
  std::string port;      // "com1" or "com2"
  std::string bytes;     // the request, as sent
  double timeout_s = 1;  // for the reply's first byte
  double gap_s = 0.1;    // the reply ends when the line is quiet this long
  bool hex = false;      // the reply as hex bytes
  const LineSettings* line = nullptr;
};

// Sends the request and prints the reply. kDone, or kFailed when no reply came.
int ask_port(Session& session, const AskArgs& args);

struct TerminalArgs {
  std::string port;
  bool hex = false;  // received bytes as hex
  const LineSettings* line = nullptr;
};

// The keyboard's bytes go to the port as they are typed, what the port
// receives is shown as it comes; Ctrl-] (or the end of the input) leaves,
// and the terminal gets its settings back on every way out.
int run_terminal(Session& session, const TerminalArgs& args);

}  // namespace kivctl
