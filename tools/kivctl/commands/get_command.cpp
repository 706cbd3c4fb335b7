// SPDX-License-Identifier: MIT
// kivctl get: the levels of lines, outputs and inputs, read without driving
// any or changing any line's mode.
#include <wiringPi.h>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "command_line.h"
#include "json_text.h"
#include "line_names.h"
#include "results.h"

namespace kivctl {

void add_get_command(CLI::App& app, CommandSet& set) {
  auto names = std::make_shared<std::vector<std::string>>();
  auto json = std::make_shared<bool>(false);
  CLI::App* cmd = app.add_subcommand("get", "Reads lines' levels by their names");
  cmd->add_option("LINE", *names, "lines to read; all of them when none is named");
  cmd->add_flag("--json", *json, "one JSON object: {\"LINE\": LEVEL, ...}");
  explain(cmd,
          "Prints NAME=LEVEL for each line (" + line_names(LineSet::kAll) +
              "), in the order given, on one line. It drives no line and changes no line's "
              "mode.",
          "kivctl get trigger laser");
  cmd->callback([&set, names, json] {
    set.action = [&set, names, json] {
      std::vector<const kiv::pin::NamedLine*> lines;
      for (const std::string& name : *names) {
        const kiv::pin::NamedLine* line = line_named(name);
        if (line == nullptr) {
          complain("get: '" + name + "' is no line (" + line_names(LineSet::kAll) + ")");
          return kUsage;
        }
        if (std::find(lines.begin(), lines.end(), line) != lines.end()) {
          complain("get: " + name + ": a line named twice");
          return kUsage;
        }
        lines.push_back(line);
      }
      if (lines.empty())
        for (const kiv::pin::NamedLine& line : kiv::pin::kNamedLines)
          lines.push_back(&line);
      set.session.device.gpio();
      nlohmann::json levels = nlohmann::json::object();
      std::string text;
      for (const kiv::pin::NamedLine* line : lines) {
        const int level = digitalRead(line->pin);
        levels[line->name] = level;
        text += (text.empty() ? "" : " ") + std::string(line->name) + "=" + std::to_string(level);
      }
      result_line(*json ? json_text(levels) : text);
      return kDone;
    };
  });
}

}  // namespace kivctl
