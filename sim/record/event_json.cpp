// SPDX-License-Identifier: MIT
#include "event_json.h"

#include <nlohmann/json.hpp>

#include "byte_text.h"
#include "json_integer.h"
#include "led_text.h"
#include "state_json.h"

namespace kivsim {
namespace {

using nlohmann::json;

json light_json(const LightControllerState& s) {
  json channels = json::array();
  for (bool on : s.channel_on)
    channels.push_back(on);
  return {{"channels", channels},
          {"work_mode", s.work_mode},
          {"light", s.light_on},
          {"flash_count", s.flash_count},
          {"flash_time", s.flash_time},
          {"brightness", s.brightness},
          {"flashes", s.flashes},
          {"frames", s.frames},
          {"unknown_frames", s.unknown_frames}};
}

LightControllerState light_from(const json& j) {
  LightControllerState s;
  const json& channels = j.at("channels");
  if (!channels.is_array() || channels.size() != 4)
    throw std::invalid_argument("\"light\" needs 4 channels");
  for (size_t i = 0; i < 4; ++i)
    s.channel_on[i] = channels[i].get<bool>();
  s.work_mode = json_integer<int>(j.at("work_mode"), "work_mode");
  s.light_on = j.at("light").get<bool>();
  s.flash_count = json_integer<int>(j.at("flash_count"), "flash_count");
  s.flash_time = json_integer<int>(j.at("flash_time"), "flash_time");
  s.brightness = json_integer<int>(j.at("brightness"), "brightness");
  s.flashes = json_integer<int>(j.at("flashes"), "flashes");
  s.frames = j.at("frames").get<size_t>();
  s.unknown_frames = j.at("unknown_frames").get<size_t>();
  return s;
}

uint32_t led_from(const json& j) {
  const std::string text = j.get<std::string>();
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    throw std::invalid_argument("an LED's colour is 6 hex digits, not \"" + text + "\"");
  return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
}

json line_json(const SerialLine& line) {
  return {{"baud", line.baud},
          {"data_bits", line.data_bits},
          {"parity", std::string(1, line.parity)},
          {"stop_bits", line.stop_bits}};
}

SerialLine line_from(const json& j) {
  SerialLine line;
  line.baud = json_integer<int>(j.at("baud"), "baud");
  line.data_bits = json_integer<int>(j.at("data_bits"), "data_bits");
  const std::string parity = j.at("parity").get<std::string>();
  if (parity != "N" && parity != "E" && parity != "O")
    throw std::invalid_argument("a line's parity is N, E or O, not \"" + parity + "\"");
  line.parity = parity[0];
  line.stop_bits = json_integer<int>(j.at("stop_bits"), "stop_bits");
  return line;
}

json message_json(const BusMessage& m) {
  json j = {{"addr", m.addr}, {"read", m.read}, {"bytes", hex_bytes(m.bytes)}};
  if (m.nack)
    j["nack"] = true;
  return j;
}

BusMessage message_from(const json& j) {
  BusMessage m;
  m.addr = json_integer<int>(j.at("addr"), "addr");
  m.read = j.at("read").get<bool>();
  const std::string bytes = j.at("bytes").get<std::string>();
  if (!bytes.empty() && !parse_hex_bytes(bytes, m.bytes))
    throw std::invalid_argument("a message's \"bytes\" is no hex bytes");
  m.nack = j.value("nack", false);
  return m;
}

}  // namespace

std::string trace_line(const Event& e) {
  json j;
  j["seq"] = e.seq;
  j["t"] = static_cast<double>(e.time_ns) / 1e9;
  j["time_ns"] = e.time_ns;
  j["source"] = source_name(e.source);
  j["kind"] = kind_name(e.kind);
  j["timing"] = e.timing == EventTiming::kSource ? "source" : "arrival";
  if (e.late)
    j["late"] = true;
  j["text"] = e.text;
  if (e.pin >= 0)
    j["pin"] = e.pin;
  if (e.level >= 0)
    j["level"] = e.level;
  if (kind_has_result(e.kind))
    j["result"] = e.result;
  if (e.kind == EventKind::kEdge || e.kind == EventKind::kLevel)
    j["sent"] = e.sent;
  if (!e.bytes.empty())
    j["bytes"] = hex_bytes(e.bytes);
  if (e.line.baud > 0)
    j["line"] = line_json(e.line);
  if (!e.messages.empty()) {
    json messages = json::array();
    for (const BusMessage& m : e.messages)
      messages.push_back(message_json(m));
    j["messages"] = messages;
  }
  if (e.source == EventSource::kStrip && e.kind == EventKind::kRender) {
    json leds = json::array();
    for (uint32_t word : e.leds)
      leds.push_back(led_hex(word));
    j["leds"] = leds;
  }
  if (e.lens_value >= 0)
    j["lens"] = e.lens_value;
  if (e.vtemp >= 0)
    j["vtemp"] = e.vtemp;
  if (e.source == EventSource::kLight)
    j["light"] = light_json(e.light);
  if (e.kind == EventKind::kBus)
    j["bus"] = {{"present", e.bus.present}, {"stuck", e.bus.stuck}, {"answering", e.bus.answering}};
  if (!e.changes.empty())
    j["state"] = change_json(e.changes);
  // The program's output may hold any bytes: what is no UTF-8 becomes U+FFFD.
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool event_from_trace_line(const std::string& line, Event& out, std::string& error) {
  const json j = json::parse(line, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    error = "not a JSON object";
    return false;
  }
  Event e;
  try {
    if (!source_named(j.at("source").get<std::string>(), e.source))
      throw std::invalid_argument("no source \"" + j["source"].get<std::string>() + "\"");
    if (!kind_named(j.at("kind").get<std::string>(), e.kind))
      throw std::invalid_argument("no kind \"" + j["kind"].get<std::string>() + "\"");
    e.seq = json_integer_or(j, "seq", uint64_t{0});
    e.time_ns = json_integer<int64_t>(j.at("time_ns"), "time_ns");
    e.timing = j.value("timing", std::string("source")) == "arrival" ? EventTiming::kArrival
                                                                     : EventTiming::kSource;
    e.late = j.value("late", false);
    e.text = j.value("text", std::string());
    e.pin = json_integer_or(j, "pin", -1);
    e.level = json_integer_or(j, "level", -1);
    e.result = json_integer_or(j, "result", 0);
    e.sent = j.value("sent", false);
    if (j.contains("bytes") && !parse_hex_bytes(j["bytes"].get<std::string>(), e.bytes))
      throw std::invalid_argument("\"bytes\" is no hex bytes");
    if (j.contains("line"))
      e.line = line_from(j["line"]);
    if (j.contains("messages"))
      for (const json& m : j.at("messages"))
        e.messages.push_back(message_from(m));
    if (j.contains("leds"))
      for (const json& led : j.at("leds"))
        e.leds.push_back(led_from(led));
    e.lens_value = json_integer_or(j, "lens", -1);
    e.vtemp = json_integer_or(j, "vtemp", -1);
    if (j.contains("light"))
      e.light = light_from(j["light"]);
    if (j.contains("bus")) {
      const json& bus = j["bus"];
      e.bus.present = bus.at("present").get<bool>();
      e.bus.stuck = bus.at("stuck").get<bool>();
      e.bus.answering = bus.at("answering").get<bool>();
    }
    std::string why;
    if (j.contains("state") && !change_from_json(j["state"], e.changes, why))
      throw std::invalid_argument(why);
  } catch (const std::exception& x) {
    // nlohmann's messages start with "[json.exception.type_error.302] ".
    std::string what = x.what();
    size_t close = what.find("] ");
    error = close == std::string::npos ? what : what.substr(close + 2);
    return false;
  }
  out = std::move(e);
  return true;
}

}  // namespace kivsim
