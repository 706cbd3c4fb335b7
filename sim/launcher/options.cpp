// SPDX-License-Identifier: MIT
#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>

#include "commands.h"

namespace kivsim {
namespace {

// A CPU serial number as the library's list holds them: 16 hex digits, lower
// case. Upper-case digits are taken as their lower case; false for anything
// else, which could never match the list.
bool cpu_serial_of(const std::string& text, std::string& serial) {
  if (text.size() != 16)
    return false;
  serial = text;
  for (char& c : serial) {
    if (c >= 'A' && c <= 'F')
      c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
      return false;
  }
  return true;
}

// A port number (0 to 65535) in `text`; false for anything else.
bool port_of(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > 65535)
    return false;
  port = static_cast<int>(value);
  return true;
}

bool is_digits(const char* text) {
  return *text && std::string(text).find_first_not_of("0123456789") == std::string::npos;
}

// "--view" takes its port only when the next word is a number: before the
// options are read, "--view 9000" becomes "--view=9000" and a bare "--view"
// "--view=8765" (the default port). Only the launcher's own options are looked
// at, up to the program's name.
std::vector<std::string> view_port_joined(int argc, const char* const* argv) {
  static const char* const kTakesValue[] = {"--script",         "--ini",
                                            "--trace",          "--vcd",
                                            "--scenario",       "--cpu-serial",
                                            "--grace",          "--lib-path",
                                            "--kernel-cmdline", "--kernel-modules",
                                            "--i2c-funcs",      "--junit",
                                            "--repeat"};
  std::vector<std::string> args(argv, argv + argc);
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--" || a.empty() || a[0] != '-')
      break;
    bool value_follows = false;
    for (const char* name : kTakesValue)
      value_follows = value_follows || a == name;
    if (value_follows) {
      ++i;
    } else if (a == "--view" || a == "--view=") {
      bool port_follows = a == "--view" && i + 1 < args.size() && is_digits(args[i + 1].c_str());
      args[i] =
          "--view=" + (port_follows ? args[i + 1] : std::to_string(LaunchOptions().view_port));
      if (port_follows)
        args.erase(args.begin() + static_cast<long>(i) + 1);
    }
  }
  return args;
}

}  // namespace

bool parse_options(int argc, const char* const* argv, LaunchOptions& opts, std::string& error) {
  std::vector<std::string> args = view_port_joined(argc, argv);
  std::vector<const char*> joined;
  for (const std::string& a : args)
    joined.push_back(a.c_str());
  CLI::App app{"kiv-sim-run"};
  // The usage text is the launcher's own; -h prints it.
  app.set_help_flag();
  app.add_flag("-h,--help", opts.help);
  app.add_option("--script", opts.script);
  app.add_option("--ini", opts.ini_file);
  app.add_option("--trace", opts.trace);
  app.add_option("--vcd", opts.vcd);
  app.add_option("--scenario", opts.scenario);
  app.add_option("--junit", opts.junit);
  app.add_option("--repeat", opts.repeat)->check(CLI::Range(1, 1000, "runs (1 to 1000)"));
  std::string view_port;
  CLI::Option* view = app.add_option("--view", view_port);
  CLI::Option* lib_path = app.add_option("--lib-path", opts.lib_path);
  std::string serial;
  CLI::Option* cpu_serial = app.add_option("--cpu-serial", serial);
  CLI::Option* cmdline = app.add_option("--kernel-cmdline", opts.kernel_cmdline);
  std::string module_names;
  CLI::Option* modules = app.add_option("--kernel-modules", module_names);
  app.add_option("--i2c-funcs", opts.i2c_funcs);
  app.add_flag("--pass-through", opts.pass_through);
  app.add_option("--grace", opts.grace_ms)
      ->check(CLI::Range(0L, 600000L, "milliseconds (0 to 600000)"));
  // The first word that is no option starts the program: the rest is its own.
  app.prefix_command();
  try {
    app.parse(static_cast<int>(joined.size()), joined.data());
  } catch (const CLI::ParseError& e) {
    error = e.what();
    return false;
  }
  if (opts.help)
    return true;
  opts.lib_path_set = lib_path->count() > 0;
  opts.kernel_cmdline_set = cmdline->count() > 0;
  opts.kernel_modules_set = modules->count() > 0;
  for (size_t at = 0; opts.kernel_modules_set && at <= module_names.size();) {
    size_t comma = std::min(module_names.find(',', at), module_names.size());
    if (comma > at)
      opts.kernel_modules.push_back(module_names.substr(at, comma - at));
    at = comma + 1;
  }
  if (!opts.i2c_funcs.empty()) {
    char* end = nullptr;
    std::strtoul(opts.i2c_funcs.c_str(), &end, 0);
    if (*end != '\0' || opts.i2c_funcs[0] == '-') {
      error = "--i2c-funcs takes a number (0x... for hex), not '" + opts.i2c_funcs + "'";
      return false;
    }
  }
  opts.view = view->count() > 0;
  if (opts.view && !port_of(view_port, opts.view_port)) {
    error = "--view takes a port (0 to 65535), not '" + view_port + "'";
    return false;
  }
  if (cpu_serial->count() > 0 && !cpu_serial_of(serial, opts.cpu_serial)) {
    error = "--cpu-serial takes 16 hex digits, not '" + serial + "'";
    return false;
  }
  opts.program = app.remaining();
  if (!opts.program.empty() && opts.program[0] == "--")
    opts.program.erase(opts.program.begin());
  else if (!opts.program.empty() && opts.program[0].size() > 1 && opts.program[0][0] == '-') {
    error = "unknown option " + opts.program[0];
    return false;
  }
  if (opts.program.empty()) {
    error = "no program to run";
    return false;
  }
  if (opts.scenario.empty() && (!opts.junit.empty() || opts.repeat > 1)) {
    error = "--junit and --repeat judge a scenario: they need --scenario";
    return false;
  }
  if (opts.view && opts.repeat > 1) {
    error = "--repeat and --view do not go together";
    return false;
  }
  return true;
}

std::string usage_text(const char* argv0) {
  return std::string("usage: ") + argv0 +
         " [options] [--] PROGRAM [ARG...]\n"
         "Runs PROGRAM on the simulated board: \"/dev/com1\" and \"/dev/com2\" are\n"
         "pseudo-terminals whose peers the launcher plays (com2 is the light\n"
         "controller), and the GPIO stand-in reports to the launcher. Every event is\n"
         "shown with the time since the start (\"~\" after it: the time the launcher\n"
         "read it). The exit status is the program's.\n"
         "The LED strip stand-in reports too: each render shows the nine LEDs in\n"
         "their colours. KIV_SIM_STRIP_INIT_RESULT=-3 in the environment plays a\n"
         "board that rpi_ws281x does not know.\n"
         "The launcher holds the lens controller behind \"/dev/i2c-5\" (address 0x18),\n"
         "which a layer preloaded into the program reaches.\n"
         "\n"
         "options:\n"
         "  --script FILE     run the commands of FILE (one a line, '#' comments)\n"
         "  --scenario FILE   run the scenario of FILE (JSON: settings, actions in\n"
         "                    time, expectations) and check it: exit status 0 when\n"
         "                    every expectation held, 1 with the ones that did not\n"
         "  --junit FILE      also write the scenario's outcome to FILE as JUnit XML\n"
         "                    (a test case for each expectation)\n"
         "  --repeat N        run the scenario N times; report each expectation's\n"
         "                    passes and the spread of its measured delays (the\n"
         "                    trace and the waveform hold the last run)\n"
         "  --trace FILE      write every event to FILE, one JSON object a line\n"
         "  --vcd FILE        write the run's waveform to FILE (Value Change Dump):\n"
         "                    the GPIO lines, com1 and com2 as UART, the lens bus\n"
         "                    as I2C, the strip, the light and lens controllers\n"
         "  --ini FILE        the program finds FILE as \"/etc/ul-opx3000.ini\"\n"
         "  --cpu-serial HEX  the program's \"/proc/cpuinfo\" gives this serial number\n"
         "                    (16 hex digits, either case)\n"
         "  --lib-path DIRS   folders put first in the program's LD_LIBRARY_PATH\n"
         "                    (default: the build's libkiv_io.so and libwiringPi.so)\n"
         "  --kernel-cmdline TEXT  the program's \"/proc/cmdline\" (default: a Pi's,\n"
         "                    with no serial console)\n"
         "  --kernel-modules NAME,...  the modules loaded, as /sys/module lists them\n"
         "                    (default: i2c_dev, i2c_bcm2835, vc4)\n"
         "  --i2c-funcs N     what \"/dev/i2c-5\" answers to I2C_FUNCS (default 0x1:\n"
         "                    I2C_FUNC_I2C, combined transfers)\n"
         "  --grace MS        time from SIGTERM to SIGKILL on quit (default 2000)\n"
         "  --pass-through    hand the program the launcher's standard input and\n"
         "                    output as they are (for `PROGRAM | jq .` or\n"
         "                    `PROGRAM < commands`); the log goes to standard\n"
         "                    error, and no commands are typed meanwhile\n"
         "  --view [PORT]     also show the device live in the browser, at\n"
         "                    http://127.0.0.1:PORT/ (default 8765; 0: any free port)\n"
         "  -h, --help        this text\n"
         "\n"
         "commands (standard input or script):\n" +
         command_help();
}

std::string fake_cpuinfo(const std::string& serial) {
  return "processor\t: 0\n"
         "BogoMIPS\t: 108.00\n"
         "Features\t: fp asimd evtstrm crc32 cpuid\n"
         "CPU implementer\t: 0x41\n"
         "CPU part\t: 0xd08\n"
         "\n"
         "Hardware\t: BCM2835\n"
         "Revision\t: d03114\n"
         "Serial\t\t: " +
         serial +
         "\n"
         "Model\t\t: Raspberry Pi 4 Model B Rev 1.4\n";
}

}  // namespace kivsim
