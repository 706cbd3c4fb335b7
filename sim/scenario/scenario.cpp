// SPDX-License-Identifier: MIT
#include "scenario.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <nlohmann/json.hpp>

#include "board_map.h"
#include "bounded_file.h"
#include "byte_text.h"
#include "light_controller.h"
#include "scenario_json.h"

namespace kivsim {
namespace {

using nlohmann::json;
using namespace scenario_json;

void read_settings(const json& s, Scenario& out) {
  only_keys(s, "settings",
            {"ini", "cpu_serial", "strip_init_result", "end", "kernel_cmdline", "kernel_modules",
             "i2c_funcs"});
  if (s.contains("ini"))
    out.ini_file = text(s["ini"], "settings.ini");
  if (s.contains("cpu_serial")) {
    std::string serial = text(s["cpu_serial"], "settings.cpu_serial");
    std::transform(serial.begin(), serial.end(), serial.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c); });
    if (serial.size() != 16 || serial.find_first_not_of("0123456789abcdef") != std::string::npos)
      fault("settings.cpu_serial", "must be 16 hex digits");
    out.cpu_serial = serial;
  }
  if (s.contains("strip_init_result")) {
    out.strip_init_set = true;
    out.strip_init_result = whole(s["strip_init_result"], "settings.strip_init_result", -99, 0);
  }
  if (s.contains("end"))
    out.end_ms = milliseconds(s["end"], "settings.end");
  if (s.contains("kernel_cmdline")) {
    out.kernel_cmdline_set = true;
    out.kernel_cmdline = text(s["kernel_cmdline"], "settings.kernel_cmdline");
  }
  if (s.contains("kernel_modules")) {
    const json& m = s["kernel_modules"];
    if (!m.is_array())
      fault("settings.kernel_modules", "must be an array of module names");
    out.kernel_modules_set = true;
    for (size_t i = 0; i < m.size(); ++i)
      out.kernel_modules.push_back(
          text(m[i], "settings.kernel_modules[" + std::to_string(i) + "]"));
  }
  if (s.contains("i2c_funcs"))
    out.i2c_funcs = whole(s["i2c_funcs"], "settings.i2c_funcs", 0, 0x7fffffff);
}

void read_actions(const json& a, Scenario& out) {
  if (!a.is_array())
    fault("actions", "must be an array");
  std::vector<std::pair<long, Command>> timed;
  for (size_t i = 0; i < a.size(); ++i) {
    const std::string where = "actions[" + std::to_string(i) + "]";
    only_keys(a[i], where, {"at", "when", "delay", "do"});
    if (a[i].contains("at") == a[i].contains("when") || !a[i].contains("do"))
      fault(where, "needs \"do\" and one of \"at\" and \"when\"");
    if (a[i].contains("delay") && !a[i].contains("when"))
      fault(where + ".delay", "belongs to an action that waits for an event (\"when\")");
    Command cmd;
    std::string error;
    ParseResult r = parse_command(text(a[i]["do"], where + ".do"), cmd, error);
    if (r == ParseResult::kBlank)
      fault(where + ".do", "holds no command");
    if (r == ParseResult::kError)
      fault(where + ".do", error);
    if (cmd.kind == CommandKind::kWait || cmd.kind == CommandKind::kHelp)
      fault(where + ".do", "\"at\" gives the time; wait and help have no place here");
    if (a[i].contains("when")) {
      WaitingAction w;
      w.when = event_pattern(a[i]["when"], where + ".when");
      if (a[i].contains("delay"))
        w.delay_ms = milliseconds(a[i]["delay"], where + ".delay");
      w.command = cmd;
      out.waiting.push_back(std::move(w));
      continue;
    }
    timed.emplace_back(milliseconds(a[i]["at"], where + ".at"), cmd);
  }
  std::stable_sort(timed.begin(), timed.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  long now = 0;
  auto wait_until = [&](long at) {
    if (at > now) {
      Command wait;
      wait.kind = CommandKind::kWait;
      wait.ms = at - now;
      out.script.push_back(wait);
      now = at;
    }
  };
  for (const auto& t : timed) {
    wait_until(t.first);
    out.script.push_back(t.second);
  }
  if (out.end_ms >= 0) {
    wait_until(out.end_ms);
    Command quit;
    quit.kind = CommandKind::kQuit;
    out.script.push_back(quit);
  }
}

void read_light(const json& v, const std::string& where, Expectation& e) {
  only_keys(
      v, where,
      {"light", "work_mode", "brightness", "flash_count", "flash_time", "flashes", "channels"});
  for (auto it = v.begin(); it != v.end(); ++it) {
    const std::string at = where + "." + it.key();
    if (it.key() == "light") {
      if (!it->is_boolean())
        fault(at, "must be true or false");
      e.light.emplace_back("light", it->get<bool>() ? 1 : 0);
    } else if (it.key() == "channels") {
      if (!it->is_array() || it->size() != 4)
        fault(at, "must be 4 values true or false (channels 1 to 4)");
      for (size_t c = 0; c < 4; ++c) {
        if (!(*it)[c].is_boolean())
          fault(at, "must be 4 values true or false (channels 1 to 4)");
        e.light.emplace_back("channel " + std::to_string(c + 1), (*it)[c].get<bool>() ? 1 : 0);
      }
    } else {
      e.light.emplace_back(it.key(), whole(*it, at, 0, 1000000));
    }
  }
}

// When an expectation is judged: "at" (a state), "by" (bytes), "when" an
// event comes, "within" a time "after" each event, or at the end (exit).
void read_timing(const json& x, const std::string& index, Expectation& e) {
  const bool exit = x.contains("exit");
  const bool bytes = x.contains("com1") || x.contains("com1_match") || x.contains("com2");
  int timings = 0;
  for (const char* k : {"at", "by", "when", "after"})
    timings += x.contains(k) ? 1 : 0;
  if (x.contains("within") != x.contains("after"))
    fault(index, "\"after\" and \"within\" go together");
  if (exit) {
    if (timings != 0)
      fault(index, "the exit status has no time");
    return;
  }
  const std::string usual = bytes ? "bytes and frames are expected \"by\" a time (not \"at\")"
                                  : "a state is expected \"at\" a time (not \"by\")";
  if (x.contains(bytes ? "at" : "by"))
    fault(index, usual);
  if (timings != 1)
    fault(index,
          usual + ", \"when\" an event comes or \"within\" a time \"after\" one: one of them");
  if (x.contains("at") || x.contains("by"))
    e.ms = milliseconds(x[bytes ? "by" : "at"], index + (bytes ? ".by" : ".at"));
  if (x.contains("when"))
    e.when = event_pattern(x["when"], index + ".when");
  if (x.contains("after")) {
    e.after = event_pattern(x["after"], index + ".after");
    e.within_ms = milliseconds(x["within"], index + ".within");
  }
}

Expectation read_expectation(const json& x, const std::string& index) {
  only_keys(x, index,
            {"name", "at", "by", "when", "after", "within", "line", "level", "strip", "lens",
             "light", "com1", "com1_match", "com2", "exit"});
  Expectation e;
  e.where = x.contains("name") ? index + " \"" + text(x["name"], index + ".name") + "\"" : index;
  int whats = 0;
  for (const char* k : {"line", "strip", "lens", "light", "com1", "com1_match", "com2", "exit"})
    whats += x.contains(k) ? 1 : 0;
  if (whats != 1)
    fault(index, "needs exactly one of line, strip, lens, light, com1, com1_match, com2, exit");
  read_timing(x, index, e);
  if (x.contains("level") && !x.contains("line"))
    fault(index + ".level", "belongs to a line");
  if (x.contains("line")) {
    e.kind = ExpectKind::kLine;
    e.pin = line_pin(x["line"], index + ".line");
    if (!x.contains("level"))
      fault(index, "a line needs its \"level\"");
    e.level = whole(x["level"], index + ".level", 0, 1);
  } else if (x.contains("strip")) {
    e.kind = ExpectKind::kStrip;
    e.leds = strip_colours(x["strip"], index + ".strip");
  } else if (x.contains("lens")) {
    e.kind = ExpectKind::kLens;
    e.lens = whole(x["lens"], index + ".lens", 0, 65535);
  } else if (x.contains("light")) {
    e.kind = ExpectKind::kLight;
    read_light(x["light"], index + ".light", e);
  } else if (x.contains("com1")) {
    e.kind = ExpectKind::kCom1;
    e.bytes = text(x["com1"], index + ".com1");  // JSON's own escapes: "OK\r\n"
    if (e.bytes.empty())
      fault(index + ".com1", "must not be empty");
  } else if (x.contains("com1_match")) {
    e.kind = ExpectKind::kCom1Match;
    e.match = expression(x["com1_match"], index + ".com1_match");
    e.match_text = x["com1_match"].get<std::string>();
  } else if (x.contains("com2")) {
    e.kind = ExpectKind::kCom2;
    e.bytes = hex_frame(x["com2"], index + ".com2");
  } else {
    e.kind = ExpectKind::kExit;
    e.exit_status = whole(x["exit"], index + ".exit", 0, 255);
  }
  return e;
}

std::string parse_message(const std::string& what) {
  // "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
  size_t close = what.find("] ");
  return close == std::string::npos ? what : what.substr(close + 2);
}

}  // namespace

bool load_scenario(const std::string& path, Scenario& out, std::string& error) {
  std::string content;
  std::string why = read_bounded_file(path, kInputFileLimit, content);
  if (!why.empty()) {
    error = "scenario " + path + ": cannot be read: " + why;
    return false;
  }
  json doc;
  try {
    doc = json::parse(content);
  } catch (const json::exception& e) {  // parse_error, or out_of_range for a number too large
    error = "scenario " + path + ": " + parse_message(e.what());
    return false;
  }
  out = Scenario();
  out.path = path;
  try {
    only_keys(doc, "the file", {"description", "settings", "actions", "expect"});
    if (doc.contains("settings"))
      read_settings(doc["settings"], out);
    read_actions(doc.contains("actions") ? doc["actions"] : json::array(), out);
    if (!doc.contains("expect") || !doc["expect"].is_array() || doc["expect"].empty())
      fault("expect", "must be an array of at least one expectation");
    for (size_t i = 0; i < doc["expect"].size(); ++i)
      out.expectations.push_back(
          read_expectation(doc["expect"][i], "expect[" + std::to_string(i) + "]"));
  } catch (const Fault& f) {
    error = "scenario " + path + ": " + f.where + ": " + f.what;
    return false;
  } catch (const json::exception& e) {
    error = "scenario " + path + ": " + parse_message(e.what());
    return false;
  }
  if (!out.ini_file.empty() && out.ini_file[0] != '/') {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos)
      out.ini_file = path.substr(0, slash + 1) + out.ini_file;
  }
  return true;
}

bool light_field(const std::string& name, const LightControllerState& s, int& value) {
  for (int c = 0; c < 4; ++c)
    if (name == "channel " + std::to_string(c + 1)) {
      value = s.channel_on[c] ? 1 : 0;
      return true;
    }
  const std::pair<const char*, int> fields[] = {
      {"light", s.light_on ? 1 : 0},  {"work_mode", s.work_mode},   {"brightness", s.brightness},
      {"flash_count", s.flash_count}, {"flash_time", s.flash_time}, {"flashes", s.flashes}};
  for (const auto& f : fields)
    if (name == f.first) {
      value = f.second;
      return true;
    }
  return false;
}

namespace {

std::string what_is_expected(const Expectation& e) {
  switch (e.kind) {
    case ExpectKind::kLine:
      return "line " + pin_label(e.pin) + " is " + std::to_string(e.level);
    case ExpectKind::kStrip: {
      std::string colours;
      char hex[8];
      for (uint32_t c : e.leds) {
        std::snprintf(hex, sizeof hex, "%06x", static_cast<unsigned>(c));
        colours += (colours.empty() ? "" : " ") + std::string(hex);
      }
      return "strip shows " + colours + (e.leds.size() == 1 ? " on every LED" : "");
    }
    case ExpectKind::kLens:
      return "lens value is " + std::to_string(e.lens);
    case ExpectKind::kLight: {
      std::string fields;
      for (const auto& f : e.light)
        fields += (fields.empty() ? "" : ", ") + f.first + " " + std::to_string(f.second);
      return "light controller has " + fields;
    }
    case ExpectKind::kCom1:
      return "com1 received " + quoted_text(e.bytes);
    case ExpectKind::kCom1Match:
      return "com1 received text matching " + quoted_text(e.match_text);
    case ExpectKind::kCom2:
      return "com2 received the frame " + hex_bytes(e.bytes);
    case ExpectKind::kExit:
      return "the program exits with status " + std::to_string(e.exit_status);
  }
  return "";
}

}  // namespace

std::string describe_expectation(const Expectation& e) {
  const std::string what = what_is_expected(e);
  if (e.kind == ExpectKind::kExit)
    return what;
  if (e.after)
    return what + " within " + std::to_string(e.within_ms) + " ms after " + e.after->text;
  if (e.when)
    return what + " when " + e.when->text;
  char when[32];
  std::snprintf(when, sizeof when, "%.3f s", static_cast<double>(e.ms) / 1000.0);
  const bool bytes = e.kind == ExpectKind::kCom1 || e.kind == ExpectKind::kCom1Match ||
                     e.kind == ExpectKind::kCom2;
  return what + (bytes ? " by " : " at ") + when;
}

}  // namespace kivsim
