// SPDX-License-Identifier: MIT
// kivctl's commands, read with CLI11 from the program's arguments or from one
// line of the shell.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

#include "device.h"

namespace kivctl {

// The command a parse chose, run once the whole line has been read.
struct CommandSet {
  Session& session;
  std::function<int()> action;
};

// Each command adds itself to the application (commands/*_command.cpp).
void add_out_command(CLI::App& app, CommandSet& set);
void add_get_command(CLI::App& app, CommandSet& set);
void add_light_command(CLI::App& app, CommandSet& set);
void add_lens_command(CLI::App& app, CommandSet& set);
void add_strip_command(CLI::App& app, CommandSet& set);
void add_serial_command(CLI::App& app, CommandSet& set);
void add_info_command(CLI::App& app, CommandSet& set);
void add_watch_command(CLI::App& app, CommandSet& set);
void add_shell_command(CLI::App& app, CommandSet& set);
void add_doctor_command(CLI::App& app, CommandSet& set);

// Runs the command in `words` (without the program's name) and returns its
// exit status: 0 done, 1 failed (one line on standard error), 2 a fault in
// the words themselves.
int run_command(Session& session, std::vector<std::string> words);

// What setup() moves, for the help of the commands that run it.
extern const char kSetupNote[];

// The text below a command's help: what it does in detail, and an example.
void explain(CLI::App* command, const std::string& details, const std::string& example);

}  // namespace kivctl
