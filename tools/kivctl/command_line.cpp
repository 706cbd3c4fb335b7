// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <algorithm>
#include <sstream>

#include "kiv_version.h"
#include "parse_errors.h"
#include "results.h"

namespace kivctl {

const char kSetupNote[] =
    "The library's setup() puts every output to its start level (do1 and do2 high, the others "
    "low), makes the inputs ready, opens both ports, sends the light controller its "
    "brightness and starts the strip (three seconds or more on the board).";

void explain(CLI::App* command, const std::string& details, const std::string& example) {
  command->footer((details.empty() ? "" : details + "\n\n") + "Example: " + example);
}

namespace {

void print_text(const std::string& text, FILE* to) {
  std::fwrite(text.data(), 1, text.size(), to);
}

}  // namespace

int run_command(Session& session, std::vector<std::string> words) {
  CLI::App app{
      "kivctl: the device from the command line, in its own terms: the output lines, the "
      "input lines, the light controller, the liquid lens, the status strip and the serial "
      "ports, through libkiv_io.",
      "kivctl"};
  app.set_version_flag("--version", std::string("kivctl ") + kiv_io_version());
  app.require_subcommand(1);
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet,
               "keep the library's own log lines (and the tool's notices) off standard error; "
               "failures are still said there");
  // Options of the tool's own are taken after a command's words too.
  app.fallthrough();
  explain(&app,
          "It is for a device whose application is stopped: two programs cannot both drive "
          "its lines and ports ('kivctl doctor' alone only reads). Results go to standard "
          "output, the library's own messages to standard error. Exit status: 0 done, 1 "
          "failed (with one line on standard error), 2 wrong arguments; 'kivctl COMMAND "
          "--help' tells more.",
          "kivctl doctor; kivctl out laser 1; kivctl watch trigger --count 2");
  CommandSet set{session, {}};
  add_out_command(app, set);
  add_get_command(app, set);
  add_light_command(app, set);
  add_lens_command(app, set);
  add_strip_command(app, set);
  add_serial_command(app, set);
  add_info_command(app, set);
  add_watch_command(app, set);
  add_doctor_command(app, set);
  if (!session.in_shell)
    add_shell_command(app, set);
  const std::vector<std::string> given = words;
  std::reverse(words.begin(), words.end());
  try {
    app.parse(words);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out, err;
    if (app.exit(e, out, err) == 0) {  // help or version
      print_text(out.str(), results());
      return kDone;
    }
    complain(parse_error_text(e, app, given));
    return kUsage;
  }
  // Quiet for this command (a shell's line), or for all when given to the
  // tool itself.
  struct QuietCommand {
    bool made = false;
    ~QuietCommand() {
      if (made)
        loud_library();
    }
  } quiet_command;
  if (quiet && !library_quiet()) {
    quiet_library();
    quiet_command.made = session.in_shell;
  }
  if (!set.action)
    return kUsage;
  try {
    return set.action();
  } catch (const Device::Unavailable& e) {
    return complain(e.what());
  }
}

}  // namespace kivctl
