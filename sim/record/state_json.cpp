// SPDX-License-Identifier: MIT
#include "state_json.h"

#include <iterator>

#include "json_integer.h"
#include "led_text.h"

namespace kivsim {
namespace {

using nlohmann::json;

enum class Shape { kNumber, kBool, kChannels, kLeds, kLine };

// Where each field of the state sits in the JSON, and in what shape.
struct Place {
  StateField field;
  const char* group;
  const char* key;  // null for the lines, keyed by pin
  Shape shape;
};

const Place kPlaces[] = {
    {StateField::kOutput, "outputs", nullptr, Shape::kLine},
    {StateField::kInput, "inputs", nullptr, Shape::kLine},
    {StateField::kChannels, "light", "channels", Shape::kChannels},
    {StateField::kWorkMode, "light", "work_mode", Shape::kNumber},
    {StateField::kLightOn, "light", "light", Shape::kBool},
    {StateField::kFlashCount, "light", "flash_count", Shape::kNumber},
    {StateField::kFlashTime, "light", "flash_time", Shape::kNumber},
    {StateField::kBrightness, "light", "brightness", Shape::kNumber},
    {StateField::kFlashes, "light", "flashes", Shape::kNumber},
    {StateField::kFrames, "light", "frames", Shape::kNumber},
    {StateField::kLensValue, "lens", "value", Shape::kNumber},
    {StateField::kVTemp, "lens", "vtemp", Shape::kNumber},
    {StateField::kBusPresent, "lens", "present", Shape::kBool},
    {StateField::kBusStuck, "lens", "stuck", Shape::kBool},
    {StateField::kBusAnswering, "lens", "answering", Shape::kBool},
    {StateField::kLeds, "strip", "leds", Shape::kLeds},
    {StateField::kRenders, "strip", "renders", Shape::kNumber},
    {StateField::kStripFaults, "strip", "faults", Shape::kNumber},
    {StateField::kStarted, "program", "started", Shape::kBool},
    {StateField::kEnded, "program", "ended", Shape::kBool},
    {StateField::kExitStatus, "program", "exit_status", Shape::kNumber},
    {StateField::kEdgesRaised, "counts", "edges_raised", Shape::kNumber},
    {StateField::kHandlersRun, "counts", "handlers_run", Shape::kNumber},
    {StateField::kReportsLost, "counts", "reports_lost", Shape::kNumber},
    {StateField::kCom1Bytes, "counts", "com1_bytes", Shape::kNumber},
};

const Place& place_of(StateField field) {
  for (const Place& p : kPlaces)
    if (p.field == field)
      return p;
  return kPlaces[0];
}

json leds_json(const std::vector<uint32_t>& leds) {
  json out = json::array();
  for (uint32_t word : leds)
    out.push_back(led_hex(word));
  return out;
}

void put(json& out, const Place& p, int pin, long value, const std::vector<uint32_t>& leds) {
  json& group = out[p.group];
  switch (p.shape) {
    case Shape::kNumber:
      group[p.key] = value;
      break;
    case Shape::kBool:
      group[p.key] = value != 0;
      break;
    case Shape::kChannels: {
      json channels = json::array();
      for (int c = 0; c < 4; ++c)
        channels.push_back(((value >> c) & 1) != 0);
      group[p.key] = channels;
      break;
    }
    case Shape::kLeds:
      group[p.key] = leds_json(leds);
      break;
    case Shape::kLine:
      group[pin_key(pin)] = value;
      break;
  }
}

// Reads one field's value; throws with what is wrong.
void read_field(const Place& p, const std::string& key, const json& v, StateChange& change) {
  FieldChange f{p.field, -1, 0};
  switch (p.shape) {
    case Shape::kNumber:
      f.value = json_integer<long>(v, key);
      break;
    case Shape::kBool:
      f.value = v.get<bool>() ? 1 : 0;
      break;
    case Shape::kChannels:
      if (!v.is_array() || v.size() != 4)
        throw std::invalid_argument("4 booleans");
      for (int c = 0; c < 4; ++c)
        f.value |= v[static_cast<size_t>(c)].get<bool>() ? 1L << c : 0;
      break;
    case Shape::kLeds:
      change.leds.clear();
      for (const json& led : v) {
        const std::string hex = led.get<std::string>();
        if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
          throw std::invalid_argument("colours of 6 hex digits");
        change.leds.push_back(static_cast<uint32_t>(std::stoul(hex, nullptr, 16)));
      }
      f.value = static_cast<long>(change.leds.size());
      break;
    case Shape::kLine:
      f.pin = parse_pin(key);
      if (f.pin < 0)
        throw std::invalid_argument("a line's name or number");
      f.value = json_integer<long>(v, key);
      break;
  }
  change.fields.push_back(f);
}

}  // namespace

json state_json(const DeviceState& state) {
  json out = json::object();
  for (const Place& p : kPlaces) {
    if (p.shape != Shape::kLine) {
      put(out, p, -1, field_value(state, p.field), state.leds);
      continue;
    }
    out[p.group] = json::object();
    for (int pin = 0; pin < kBoardPins; ++pin)
      if (field_value(state, p.field, pin) >= 0)
        put(out, p, pin, field_value(state, p.field, pin), state.leds);
  }
  return out;
}

json change_json(const StateChange& change) {
  json out = json::object();
  for (const FieldChange& f : change.fields)
    put(out, place_of(f.field), f.pin, f.value, change.leds);
  return out;
}

bool change_from_json(const json& j, StateChange& change, std::string& error) {
  change = StateChange();
  if (!j.is_object()) {
    error = "the state is no object";
    return false;
  }
  for (auto group = j.begin(); group != j.end(); ++group) {
    if (!group->is_object()) {
      error = "state." + group.key() + " is no object";
      return false;
    }
    for (auto field = group->begin(); field != group->end(); ++field) {
      const Place* place = nullptr;
      for (const Place& p : kPlaces)
        if (group.key() == p.group && (!p.key || field.key() == p.key))
          place = &p;
      const std::string where = "state." + group.key() + "." + field.key();
      if (!place) {
        error = where + " is no field of the state";
        return false;
      }
      try {
        read_field(*place, field.key(), *field, change);
      } catch (const std::exception& x) {
        error = where + " must be " +
                (dynamic_cast<const std::invalid_argument*>(&x) ? x.what() : "a value of its kind");
        return false;
      }
    }
  }
  return true;
}

json board_json() {
  json lines = json::array();
  for (const BoardLine& line : board_lines()) {
    const char* kind = line.kind == LineKind::kOutput  ? "output"
                       : line.kind == LineKind::kInput ? "input"
                                                       : "strip";
    lines.push_back({{"pin", line.pin}, {"name", line.name}, {"kind", kind}});
  }
  return lines;
}

}  // namespace kivsim
