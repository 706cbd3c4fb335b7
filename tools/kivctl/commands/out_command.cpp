// SPDX-License-Identifier: MIT
// kivctl out: output lines by their names, each left as it is unless named.
#include <strings.h>
#include <wiringPi.h>

#include <set>
#include <string>
#include <vector>

#include "command_line.h"
#include "gpio/line_access.h"
#include "line_names.h"
#include "results.h"

namespace kivctl {
namespace {

struct Setting {
  const kiv::pin::NamedLine* line;  // null: both scan lines, through the library
  int level;
};

// "1", "on", "high" and their opposites, in any case; -1 for anything else.
int level_of(const std::string& word) {
  for (const char* high : {"1", "on", "high"})
    if (strcasecmp(word.c_str(), high) == 0)
      return 1;
  for (const char* low : {"0", "off", "low"})
    if (strcasecmp(word.c_str(), low) == 0)
      return 0;
  return -1;
}

// Reads "LINE LEVEL" pairs; all are checked before any line moves. "scan", an
// older spelling, names the two scan lines together, as the library's
// setScanStat() drives them.
bool read_settings(const std::vector<std::string>& words, std::vector<Setting>& settings,
                   std::string& error) {
  if (words.size() % 2 != 0) {
    error = "out takes pairs of a line and its level, as 'laser 1'";
    return false;
  }
  std::set<int> named;
  for (size_t i = 0; i < words.size(); i += 2) {
    const std::string& name = words[i];
    const int level = level_of(words[i + 1]);
    const bool scan = strcasecmp(name.c_str(), "scan") == 0;
    const kiv::pin::NamedLine* line = scan ? nullptr : line_named(name);
    if (!scan && (line == nullptr || !line->output)) {
      error = "'" + name + "' is no output line (" + line_names(LineSet::kOutputs) + ")";
      return false;
    }
    if (level < 0) {
      error = name + " takes 1 or 0 (on or off), not '" + words[i + 1] + "'";
      return false;
    }
    const std::vector<int> pins = scan
                                      ? std::vector<int>{kiv::pin::kScanStatA, kiv::pin::kScanStatB}
                                      : std::vector<int>{line->pin};
    for (int pin : pins) {
      if (!named.insert(pin).second) {
        error = name + ": a line named twice";
        return false;
      }
    }
    settings.push_back({line, level});
  }
  return true;
}

void drive(kiv::KivIo& io, const Setting& s) {
  if (s.line != nullptr) {
    kiv::drive_output(s.line->pin, s.level);
    return;
  }
  // The library's own levels first, then the lines made outputs.
  io.setScanStat(s.level != 0);
  pinMode(kiv::pin::kScanStatA, OUTPUT);
  pinMode(kiv::pin::kScanStatB, OUTPUT);
}

}  // namespace

void add_out_command(CLI::App& app, CommandSet& set) {
  auto words = std::make_shared<std::vector<std::string>>();
  CLI::App* cmd = app.add_subcommand("out", "Drives output lines by their names");
  cmd->add_option("LINE LEVEL", *words, "pairs of a line and its level")->required()->expected(-1);
  explain(cmd,
          "Each named line (" + line_names(LineSet::kOutputs) +
              ") goes to 1 or 0, in the order given; every other line keeps its level and "
              "mode. A line that was an input gets its level before it becomes an output, so "
              "it does not pass through the other level. All pairs are checked before any "
              "line moves.",
          "kivctl out laser 1 alarm 0");
  cmd->callback([&set, words] {
    set.action = [&set, words] {
      std::vector<Setting> settings;
      std::string error;
      if (!read_settings(*words, settings, error)) {
        complain("out: " + error);
        return kUsage;
      }
      set.session.device.gpio();
      for (const Setting& s : settings)
        drive(set.session.device.instance(), s);
      return kDone;
    };
  });
}

}  // namespace kivctl
