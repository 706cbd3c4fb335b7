// SPDX-License-Identifier: MIT
#include "options.h"

#include <CLI/CLI.hpp>

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

}  // namespace

bool parse_options(int argc, const char* const* argv, LaunchOptions& opts, std::string& error) {
  CLI::App app{"kiv-sim-run"};
  // The usage text is the launcher's own; -h prints it.
  app.set_help_flag();
  app.add_flag("-h,--help", opts.help);
  app.add_option("--script", opts.script);
  app.add_option("--ini", opts.ini_file);
  app.add_option("--trace", opts.trace);
  app.add_option("--scenario", opts.scenario);
  CLI::Option* lib_path = app.add_option("--lib-path", opts.lib_path);
  std::string serial;
  CLI::Option* cpu_serial = app.add_option("--cpu-serial", serial);
  app.add_option("--grace", opts.grace_ms)
      ->check(CLI::Range(0L, 600000L, "milliseconds (0 to 600000)"));
  // The first word that is no option starts the program: the rest is its own.
  app.prefix_command();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    error = e.what();
    return false;
  }
  if (opts.help)
    return true;
  opts.lib_path_set = lib_path->count() > 0;
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
         "  --trace FILE      write every event to FILE, one JSON object a line\n"
         "  --ini FILE        the program finds FILE as \"/etc/ul-opx3000.ini\"\n"
         "  --cpu-serial HEX  the program's \"/proc/cpuinfo\" gives this serial number\n"
         "                    (16 hex digits, either case)\n"
         "  --lib-path DIRS   folders put first in the program's LD_LIBRARY_PATH\n"
         "                    (default: the build's libkiv_io.so and libwiringPi.so)\n"
         "  --grace MS        time from SIGTERM to SIGKILL on quit (default 2000)\n"
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
