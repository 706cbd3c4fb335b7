// SPDX-License-Identifier: MIT
// One run of a program on the simulated board: starts it, plays the peers of
// its serial ports and the GPIO stand-in's partner, runs the commands of the
// script and of standard input, and posts every event to the run's stream
// until the program ends.
// Everything happens in one reactor (reactor.h) on the launcher's only thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "command_source.h"
#include "commands.h"
#include "event_stream.h"
#include "lens_link.h"
#include "link_server.h"
#include "scenario.h"

namespace kivsim {

struct RunSetup {
  std::vector<std::string> program;    // program and arguments
  std::vector<std::string> env;        // "NAME=value" set for the program
  std::vector<Command> script;         // run from the program's start
  std::vector<WaitingAction> waiting;  // each run once, after its event
  long grace_ms = 2000;                // from SIGTERM to SIGKILL on quit
  int com1_fd = -1;                    // masters of "/dev/com1" and "/dev/com2"
  int com2_fd = -1;
  int signal_fd = -1;  // signalfd for SIGCHLD, SIGINT, SIGTERM, SIGHUP
  int input_fd = 0;    // where commands are typed (-1: none)
  // The program gets the launcher's standard input and output as they are,
  // instead of /dev/null and a terminal the launcher reads.
  bool pass_through = false;
  LinkServer* gpio = nullptr;  // listening already

  LinkServer* strip = nullptr;        // the strip stand-in's reports, listening already (optional)
  LensLink* lens = nullptr;           // listening already
  EventStream* stream = nullptr;      // gets every event; closed when the run ends
  CommandSource* commands = nullptr;  // more commands, from the view (optional)
  // The master of a new line at the path of port 1 or 2 ("/dev/com1"), for
  // `reconnect`, or -1 (optional: without it there is no new line).
  std::function<int(int port)> new_line;
};

// Runs the program to its end and returns its exit status (128 + signal when a
// signal ended it, 127 when it could not be started).
int run_on_board(const RunSetup& setup);

}  // namespace kivsim
