// SPDX-License-Identifier: MIT
// A run's waveform read back with a small VCD reader of its own: every GPIO
// line's edges, the strip's colours and the light and lens controllers'
// values change when the trace says they did, to what it says.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>

#include "board_map.h"
#include "waveform_run.h"

namespace kivtest {
namespace {

using kivsim::StateField;

struct Step {
  int64_t ns;
  uint32_t value;
  // Within a few units of the dump: changes of a line in one unit move apart.
  bool operator==(const Step& o) const { return value == o.value && std::llabs(ns - o.ns) < 100; }
};
using Steps = std::map<std::string, std::vector<Step>>;

std::ostream& operator<<(std::ostream& out, const Step& s) {
  return out << s.value << "@" << s.ns;
}

// Every variable's changes after time 0, by name; "x" is left out.
Steps read_vcd(const std::string& text, int64_t* unit_ns) {
  std::map<std::string, std::string> names;  // by identifier
  Steps steps;
  std::istringstream in(text);
  int64_t now = 0;
  for (std::string word; in >> word;) {
    if (word == "$timescale") {
      in >> *unit_ns >> word;
    } else if (word == "$var") {
      std::string type, width, id, name;
      in >> type >> width >> id >> name;
      names[id] = name;
    } else if (word[0] == '#') {
      now = std::stoll(word.substr(1)) * *unit_ns;
    } else if (word[0] == 'b' || word[0] == '0' || word[0] == '1') {
      std::string id = word.substr(1);
      std::string bits = word[0] == 'b' ? word.substr(1) : word.substr(0, 1);
      if (word[0] == 'b')
        in >> id;
      if (now > 0)
        steps[names.at(id)].push_back({now, static_cast<uint32_t>(std::stoul(bits, nullptr, 2))});
    }
  }
  return steps;
}

// What the trace's state changes say each variable went through.
Steps expected_steps(const std::vector<kivsim::Event>& events) {
  const std::map<StateField, const char*> values = {
      {StateField::kChannels, "channels"},      {StateField::kWorkMode, "work_mode"},
      {StateField::kLightOn, "light_on"},       {StateField::kBrightness, "brightness"},
      {StateField::kFlashCount, "flash_count"}, {StateField::kFlashTime, "flash_time"},
      {StateField::kLensValue, "lens_value"},   {StateField::kVTemp, "vtemp"}};
  Steps steps;
  std::map<std::string, uint32_t> now = {{"work_mode", 0},  {"channels", 0},    {"light_on", 0},
                                         {"brightness", 0}, {"flash_count", 0}, {"flash_time", 0},
                                         {"lens_value", 0}, {"vtemp", 0}};
  auto set = [&](const std::string& name, int64_t ns, uint32_t value) {
    if (now.count(name) && now[name] == value)
      return;
    now[name] = value;
    steps[name].push_back({ns, value});
  };
  for (const kivsim::Event& e : events)
    for (const kivsim::FieldChange& c : e.changes.fields) {
      const kivsim::BoardLine* line = kivsim::board_line(c.pin);
      if (line && ((c.field == StateField::kOutput && line->kind == kivsim::LineKind::kOutput) ||
                   (c.field == StateField::kInput && line->kind == kivsim::LineKind::kInput)))
        set(line->name, e.time_ns, static_cast<uint32_t>(c.value));
      if (values.count(c.field))
        set(values.at(c.field), e.time_ns, static_cast<uint32_t>(c.value));
      for (size_t i = 0; c.field == StateField::kLeds && i < e.changes.leds.size(); ++i)
        set("led" + std::to_string(i), e.time_ns, e.changes.leds[i]);
    }
  return steps;
}

TEST(VcdLevels, LinesAndValuesChangeAsTheTraceSays) {
  for (const WaveformProgram& program : waveform_programs()) {
    SCOPED_TRACE(program.name);
    WaveformRun w = run_with_waveform(program);
    KIV_SKIP_WITHOUT_BOARD(w.run);
    ASSERT_TRUE(w.run.trace_error.empty()) << w.run.trace_error;
    int64_t unit_ns = 0;
    const Steps seen = read_vcd(w.vcd, &unit_ns);
    EXPECT_EQ(unit_ns, 10);
    const Steps expected = expected_steps(w.run.events);
    for (const char* name : {"laser", "alarm", "trigger", "led0", "lens_value", "light_on"})
      EXPECT_TRUE(expected.count(name)) << name << " never changed in the run";
    for (const auto& [name, steps] : expected)
      EXPECT_EQ(seen.count(name) ? seen.at(name) : std::vector<Step>(), steps) << name;
  }
}

}  // namespace
}  // namespace kivtest
