// SPDX-License-Identifier: MIT
#include "device_json.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace kivsim {
namespace {

struct NamedPin {
  const char* key;
  int pin;
};

// The board's lines by role (SoC numbering), under the names the page uses.
const NamedPin kOutputs[] = {{"laser", 13}, {"alarm", 21}, {"scanA", 16},
                             {"scanB", 7},  {"do1", 22},   {"do2", 27}};
const NamedPin kInputs[] = {{"input", 17}, {"trigger", 12}, {"tune", 20}};

nlohmann::json level(int value) {
  return value < 0 ? nlohmann::json(nullptr) : nlohmann::json(value);
}

long word_value(const LensController::Word& w) {
  return static_cast<long>(w[0]) | static_cast<long>(w[1]) << 8 | static_cast<long>(w[2]) << 16 |
         static_cast<long>(w[3]) << 24;
}

}  // namespace

std::string device_json(const DeviceSnapshot& s) {
  nlohmann::json out;
  for (const NamedPin& p : kOutputs)
    out["outputs"][p.key] = level(s.board.output[p.pin]);
  for (const NamedPin& p : kInputs)
    out["inputs"][p.key] = level(s.board.input[p.pin]);
  const LightControllerState& l = s.light;
  out["light"] = {
      {"channels", {l.channel_on[0], l.channel_on[1], l.channel_on[2], l.channel_on[3]}},
      {"workMode", l.work_mode},
      {"lightOn", l.light_on},
      {"flashCount", l.flash_count},
      {"flashTime", l.flash_time},
      {"brightness", l.brightness},
      {"flashes", l.flashes},
      {"frames", l.frames}};
  const LensController& lens = s.bus.lens();
  out["lens"] = {{"value", lens.lens_value()},
                 {"vtemp", word_value(lens.word(LensController::kVTempRegister))},
                 {"present", s.bus.present()},
                 {"answering", lens.answering()},
                 {"stuck", s.bus.stuck()}};
  nlohmann::json leds = nlohmann::json::array();
  for (uint32_t colour : s.strip.leds) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%06x", static_cast<unsigned>(colour & 0xFFFFFFu));
    leds.push_back(hex);
  }
  out["leds"] = leds;
  out["renders"] = s.strip.renders;
  out["gpio"] = {{"edges", s.board.edges_raised}, {"handlers", s.board.handlers_run}};
  out["program"] = {{"running", s.program_running}, {"status", s.program_status}};
  return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace kivsim
