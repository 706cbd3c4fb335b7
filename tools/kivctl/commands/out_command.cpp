// SPDX-License-Identifier: MIT
// kivctl out: the output lines, by their roles.
#include <string>
#include <vector>

#include "command_line.h"
#include "results.h"

namespace kivctl {
namespace {

struct Setting {
  std::string line;
  bool high;
};

// Reads "LINE LEVEL" pairs; all are checked before any line moves.
bool read_settings(const std::vector<std::string>& words, std::vector<Setting>& settings,
                   std::string& error) {
  if (words.size() % 2 != 0) {
    error = "out takes pairs of a line and its level, as 'laser 1' or 'scan on'";
    return false;
  }
  for (size_t i = 0; i < words.size(); i += 2) {
    const std::string& line = words[i];
    const std::string& level = words[i + 1];
    bool scan = line == "scan";
    if (!scan && line != "laser" && line != "alarm" && line != "do1" && line != "do2") {
      error = "'" + line + "' is no output line (laser, alarm, do1, do2, scan)";
      return false;
    }
    const char* on = scan ? "on" : "1";
    const char* off = scan ? "off" : "0";
    if (level != on && level != off) {
      error = line + " takes " + on + " or " + off + ", not '" + level + "'";
      return false;
    }
    settings.push_back({line, level == on});
  }
  return true;
}

void drive(kiv::KivIo& io, const Setting& s) {
  if (s.line == "laser")
    s.high ? io.openLaser() : io.closeLaser();
  else if (s.line == "alarm")
    s.high ? io.openAlarm() : io.closeAlarm();
  else if (s.line == "do1")
    io.setDo1High(s.high);
  else if (s.line == "do2")
    io.setDo2High(s.high);
  else
    io.setScanStat(s.high);
}

}  // namespace

void add_out_command(CLI::App& app, CommandSet& set) {
  auto words = std::make_shared<std::vector<std::string>>();
  CLI::App* cmd = app.add_subcommand("out", "Drives output lines by their roles");
  cmd->add_option("line_level", *words, "LINE LEVEL pairs")->required()->expected(-1);
  explain(cmd,
          "laser, alarm, do1 and do2 go to 0 or 1, and the two scan lines together (scan on: "
          "GPIO 16 high, GPIO 7 low; off: the reverse). Several pairs may follow one another; "
          "all are checked before any line moves. " +
              std::string(kSetupNote),
          "kivctl out laser 1 alarm 0 scan on");
  cmd->callback([&set, words] {
    set.action = [&set, words] {
      std::vector<Setting> settings;
      std::string error;
      if (!read_settings(*words, settings, error)) {
        complain("out: " + error);
        return kUsage;
      }
      kiv::KivIo& io = set.session.device.io();
      for (const Setting& s : settings)
        drive(io, s);
      return kDone;
    };
  });
}

}  // namespace kivctl
