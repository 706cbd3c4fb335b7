// SPDX-License-Identifier: MIT
// kivctl info: what the library makes of this device, and its lines now.
#include <wiringPi.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "command_line.h"
#include "config/config_file.h"
#include "config_verdict.h"
#include "gpio/pins.h"
#include "json_text.h"
#include "kiv_config.h"
#include "kiv_version.h"
#include "results.h"

namespace kivctl {
namespace {

// A value in force comes from the file when the file set it (non-zero), else
// from the board variant: the library's own lookups decide both.
const char* source_of(int n) {
  return get_value_by_config(n) != 0 ? "ini" : "variant";
}

nlohmann::json gather(Session& session) {
  nlohmann::json j;
  j["library"] = kiv_io_version();
  bool updated = x_updated_device();
  j["cpu_serial"] = std::string(serial_buf);
  j["variant"] = updated ? "updated" : "other";
  j["config"] = {{"path", kiv_config::kConfigPath}};
  nlohmann::json map = nlohmann::json::array();
  for (int section = 1; section <= 4; ++section)
    map.push_back({{"section", section},
                   {"channel", firmware_index_v2(section)},
                   {"from", source_of(section)}});
  j["light_map"] = map;
  j["pause_ms"] = firmware_index_v2(5);
  j["pause_from"] = source_of(5);
  // The same verdict as the doctor's, from the same reading of the file.
  const ConfigVerdict verdict = config_verdict();
  j["config"]["state"] = verdict.state;
  j["config"]["refused"] = verdict.refused;
  j["config"]["refused_lines"] = verdict.refused_lines;
  // Reading the levels needs the GPIO library set up, which ends the whole
  // process on a board it cannot identify: only where the library's check
  // passes. Reading changes no line.
  bool readable = true;
  try {
    session.device.gpio();
  } catch (const Device::Unavailable&) {
    readable = false;
  }
  // Each line with the direction the library's setup() gives it.
  nlohmann::json pins = nlohmann::json::array();
  for (const kiv::pin::NamedLine& l : kiv::pin::kNamedLines) {
    nlohmann::json p = {{"role", l.name}, {"bcm", l.pin}, {"direction", l.output ? "out" : "in"}};
    p["level"] = readable ? nlohmann::json(digitalRead(l.pin)) : nlohmann::json(nullptr);
    pins.push_back(p);
  }
  j["pins"] = pins;
  return j;
}

void print_text(const nlohmann::json& j) {
  result_line("library     " + j["library"].get<std::string>());
  std::string serial = j["cpu_serial"].get<std::string>();
  result_line("board       " + std::string(j["variant"] == "updated" ? "updated" : "other") +
              " device (CPU serial " + (serial.empty() ? "unknown" : serial) + ")");
  const std::string state = j["config"]["state"].get<std::string>();
  const std::vector<std::string> refused = j["config"]["refused"];
  const size_t lines = j["config"]["refused_lines"].size();
  result_line("config      " + j["config"]["path"].get<std::string>() + ": " + state +
              (lines == 0 ? "" : " (" + std::to_string(lines) + " refused)"));
  for (const std::string& line : refused)
    result_line("            " + line);
  std::string map;
  for (const auto& m : j["light_map"])
    map += (map.empty() ? "" : ", ") + std::to_string(m["section"].get<int>()) + "->" +
           std::to_string(m["channel"].get<int>()) + " (" + m["from"].get<std::string>() + ")";
  result_line("light map   section->channel: " + map);
  result_line("pause       " + std::to_string(j["pause_ms"].get<int>()) +
              " ms after each light controller write (" + j["pause_from"].get<std::string>() + ")");
  result_line("");
  result_line(" line     BCM  dir  level");
  char row[64];
  for (const auto& p : j["pins"]) {
    std::string level = p["level"].is_null() ? "?" : std::to_string(p["level"].get<int>());
    std::snprintf(row, sizeof row, " %-8s %3d  %-3s  %s", p["role"].get<std::string>().c_str(),
                  p["bcm"].get<int>(), p["direction"].get<std::string>().c_str(), level.c_str());
    result_line(row);
  }
}

}  // namespace

void add_info_command(CLI::App& app, CommandSet& set) {
  auto json = std::make_shared<bool>(false);
  const std::string details =
      "Shows the library's version, the board variant and CPU serial number, the light "
      "section map and write pause in force (from /etc/ul-opx3000.ini or from the "
      "variant), and the lines: name, BCM pin, direction, level now. Changes nothing.";
  CLI::App* info = app.add_subcommand("info", "What the library makes of this device");
  info->add_flag("--json", *json, "one JSON object");
  explain(info, details, "kivctl info --json");
  info->callback([&set, json] {
    set.action = [&set, json] {
      nlohmann::json j = gather(set.session);
      if (*json)
        result_line(json_text(j));
      else
        print_text(j);
      return kDone;
    };
  });
}

}  // namespace kivctl
