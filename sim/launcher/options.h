// SPDX-License-Identifier: MIT
// The launcher's command line:
//   kiv-sim-run [options] [--] PROGRAM [ARG...]
#pragma once

#include <string>
#include <vector>

namespace kivsim {

struct LaunchOptions {
  std::string script;          // --script FILE
  std::string ini_file;        // --ini FILE
  std::string cpu_serial;      // --cpu-serial HEX
  std::string trace;           // --trace FILE
  std::string vcd;             // --vcd FILE
  std::string scenario;        // --scenario FILE
  std::string junit;           // --junit FILE
  int repeat = 1;              // --repeat N: the scenario's runs
  std::string lib_path;        // --lib-path DIRS ("" keeps the build's folders)
  std::string kernel_cmdline;  // --kernel-cmdline TEXT
  bool kernel_cmdline_set = false;
  std::vector<std::string> kernel_modules;  // --kernel-modules NAME,...
  bool kernel_modules_set = false;
  std::string i2c_funcs;  // --i2c-funcs N ("": the board's adapter)
  bool lib_path_set = false;
  long grace_ms = 2000;              // --grace MS: from SIGTERM to SIGKILL on quit
  bool view = false;                 // --view [PORT]: serve the browser view
  bool pass_through = false;         // --pass-through: the program has the terminal
  int view_port = 8765;              // its port (0: any free port)
  bool help = false;                 // -h, --help
  std::vector<std::string> program;  // the program and its arguments
};

// Reads the options; the first word that is not an option (or what follows
// "--") starts the program. Returns false with `error` set on a fault.
bool parse_options(int argc, const char* const* argv, LaunchOptions& opts, std::string& error);

// The usage text.
std::string usage_text(const char* argv0);

// A "/proc/cpuinfo" for a board with this CPU serial number.
std::string fake_cpuinfo(const std::string& serial);

}  // namespace kivsim
