// SPDX-License-Identifier: MIT
#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

bool take_value(const std::string& arg, const char* name, int& i, int argc, const char* const* argv,
                std::string& value, bool& matched, std::string& error) {
  std::string prefix = std::string(name) + "=";
  matched = false;
  if (arg == name) {
    matched = true;
    if (i + 1 >= argc) {
      error = std::string(name) + " needs a value";
      return false;
    }
    value = argv[++i];
    return true;
  }
  if (arg.compare(0, prefix.size(), prefix) == 0) {
    matched = true;
    value = arg.substr(prefix.size());
    return true;
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

// --view, --view PORT (the next word when it is all digits) or --view=PORT.
bool take_view(const std::string& arg, int& i, int argc, const char* const* argv,
               LaunchOptions& opts, bool& matched, std::string& error) {
  matched = arg == "--view" || arg.compare(0, 7, "--view=") == 0;
  if (!matched)
    return true;
  opts.view = true;
  std::string value;
  if (arg != "--view")
    value = arg.substr(7);
  else if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9')
    value = argv[++i];
  else
    return true;
  if (!port_of(value, opts.view_port)) {
    error = "--view takes a port (0 to 65535), not '" + value + "'";
    return false;
  }
  return true;
}

}  // namespace

bool parse_options(int argc, const char* const* argv, LaunchOptions& opts, std::string& error) {
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.empty() || arg[0] != '-')
      break;
    if (arg == "-h" || arg == "--help") {
      opts.help = true;
      return true;
    }
    std::string value;
    bool matched = false;
    if (!take_view(arg, i, argc, argv, opts, matched, error))
      return false;
    if (matched)
      continue;
    if (!take_value(arg, "--script", i, argc, argv, opts.script, matched, error))
      return false;
    if (matched)
      continue;
    if (!take_value(arg, "--ini", i, argc, argv, opts.ini_file, matched, error))
      return false;
    if (matched)
      continue;
    if (!take_value(arg, "--lib-path", i, argc, argv, opts.lib_path, matched, error))
      return false;
    if (matched) {
      opts.lib_path_set = true;
      continue;
    }
    if (!take_value(arg, "--cpu-serial", i, argc, argv, value, matched, error))
      return false;
    if (matched) {
      if (!cpu_serial_of(value, opts.cpu_serial)) {
        error = "--cpu-serial takes 16 hex digits, not '" + value + "'";
        return false;
      }
      continue;
    }
    if (!take_value(arg, "--grace", i, argc, argv, value, matched, error))
      return false;
    if (matched) {
      char* end = nullptr;
      errno = 0;
      opts.grace_ms = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || errno != 0 || opts.grace_ms < 0 ||
          opts.grace_ms > 600000) {
        error = "--grace takes milliseconds (0 to 600000), not '" + value + "'";
        return false;
      }
      continue;
    }
    error = "unknown option " + arg;
    return false;
  }
  for (; i < argc; ++i)
    opts.program.push_back(argv[i]);
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
         "shown with the time since the start. The exit status is the program's.\n"
         "The LED strip stand-in reports too: each render shows the nine LEDs in\n"
         "their colours. KIV_SIM_STRIP_INIT_RESULT=-3 in the environment plays a\n"
         "board that rpi_ws281x does not know.\n"
         "The launcher holds the lens controller behind \"/dev/i2c-5\" (address 0x18),\n"
         "which a layer preloaded into the program reaches.\n"
         "\n"
         "options:\n"
         "  --script FILE     run the commands of FILE (one a line, '#' comments)\n"
         "  --ini FILE        the program finds FILE as \"/etc/ul-opx3000.ini\"\n"
         "  --cpu-serial HEX  the program's \"/proc/cpuinfo\" gives this serial number\n"
         "                    (16 hex digits, either case)\n"
         "  --lib-path DIRS   folders put first in the program's LD_LIBRARY_PATH\n"
         "                    (default: the build's libkiv_io.so and libwiringPi.so)\n"
         "  --grace MS        time from SIGTERM to SIGKILL on quit (default 2000)\n"
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
