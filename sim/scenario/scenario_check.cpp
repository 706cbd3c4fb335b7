// SPDX-License-Identifier: MIT
#include "scenario_check.h"

#include <cstdio>

#include "board_map.h"
#include "byte_text.h"
#include "led_text.h"

namespace kivsim {
namespace {

constexpr size_t kMaxShown = 160;

std::string seconds(int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ns) / 1e9);
  return text;
}

int64_t ms_to_ns(long ms) {
  return static_cast<int64_t>(ms) * 1000000;
}

// The last of `events` at or before `ms`, or null.
const Event* last_by(const std::vector<Event>& events, long ms) {
  const Event* last = nullptr;
  for (const Event& e : events)
    if (e.time_ns <= ms_to_ns(ms) && (!last || e.time_ns >= last->time_ns))
      last = &e;
  return last;
}

std::string shortened(std::string text) {
  if (text.size() > kMaxShown)
    text = "..." + text.substr(text.size() - kMaxShown);
  return text;
}

}  // namespace

void ScenarioCheck::see(const Event& e) {
  switch (e.source) {
    case EventSource::kGpio:
      if (e.pin >= 0 && e.level >= 0 &&
          (e.kind == EventKind::kWrite || e.kind == EventKind::kWritten ||
           e.kind == EventKind::kEdge || e.kind == EventKind::kLevel))
        lines_.push_back(e);
      break;
    case EventSource::kStrip:
      if (e.kind == EventKind::kRender)
        renders_.push_back(e);
      break;
    case EventSource::kI2c:
      if (e.kind == EventKind::kRegisters)
        registers_.push_back(e);
      break;
    case EventSource::kLight:
      lights_.push_back(e);
      break;
    case EventSource::kCom1:
      if (e.kind == EventKind::kReceived)
        com1_.push_back(e);
      break;
    case EventSource::kCom2:
      if (e.kind == EventKind::kFrame)
        frames_.push_back(e);
      break;
    case EventSource::kSim:
      if (e.kind == EventKind::kExit) {
        ended_ = true;
        exit_status_ = e.result;
      }
      break;
    case EventSource::kProgram:
      break;
  }
}

std::string ScenarioCheck::line_seen(const Expectation& x) const {
  std::vector<Event> of_pin;
  for (const Event& e : lines_)
    if (e.pin == x.pin)
      of_pin.push_back(e);
  const Event* last = last_by(of_pin, x.ms);
  if (!last)
    return "the line was never set";
  int level = last->level != 0 ? 1 : 0;
  if (level == x.level)
    return "";
  return "it was " + std::to_string(level) + " (" + kind_name(last->kind) + " at " +
         seconds(last->time_ns) + ")";
}

std::string ScenarioCheck::strip_seen(const Expectation& x) const {
  const Event* last = last_by(renders_, x.ms);
  if (!last)
    return "the strip was never rendered";
  bool same = x.leds.size() == 1 ? !last->leds.empty() : last->leds.size() == x.leds.size();
  for (size_t i = 0; same && i < last->leds.size(); ++i)
    same = (last->leds[i] & 0xFFFFFF) == x.leds[x.leds.size() == 1 ? 0 : i];
  if (same)
    return "";
  return "it showed " + strip_colours_text(last->leds) + " (rendered at " + seconds(last->time_ns) +
         ")";
}

std::string ScenarioCheck::lens_seen(const Expectation& x) const {
  const Event* last = last_by(registers_, x.ms);
  int value = last ? last->lens_value : 0;
  if (value == x.lens)
    return "";
  return "it was " + std::to_string(value) +
         (last ? " (since " + seconds(last->time_ns) + ")" : " (never written)");
}

std::string ScenarioCheck::light_seen(const Expectation& x) const {
  const Event* last = last_by(lights_, x.ms);
  LightControllerState state = last ? last->light : LightControllerState();
  std::string wrong;
  for (const auto& f : x.light) {
    int value = 0;
    if (!light_field(f.first, state, value))
      wrong += (wrong.empty() ? "" : ", ") + f.first + " is no field of the light controller";
    else if (value != f.second)
      wrong += (wrong.empty() ? "" : ", ") + f.first + " was " + std::to_string(value);
  }
  if (wrong.empty())
    return "";
  return wrong + (last ? " (since " + seconds(last->time_ns) + ")" : " (nothing received)");
}

std::string ScenarioCheck::com1_seen(const Expectation& x) const {
  std::string received;
  for (const Event& e : com1_)
    if (e.time_ns <= ms_to_ns(x.ms))
      received += e.bytes;
  if (received.find(x.bytes) != std::string::npos)
    return "";
  std::string later;
  for (const Event& e : com1_)
    if (e.time_ns > ms_to_ns(x.ms))
      later += e.bytes;
  std::string seen =
      received.empty() ? "nothing came by then" : "it received " + shortened(quoted_text(received));
  if ((received + later).find(x.bytes) != std::string::npos)
    seen += "; it came later";
  return seen;
}

std::string ScenarioCheck::com2_seen(const Expectation& x) const {
  std::string frames;
  for (const Event& e : frames_) {
    if (e.time_ns > ms_to_ns(x.ms))
      continue;
    if (e.bytes == x.bytes)
      return "";
    frames += (frames.empty() ? "" : " | ") + hex_bytes(e.bytes);
  }
  for (const Event& e : frames_)
    if (e.time_ns > ms_to_ns(x.ms) && e.bytes == x.bytes)
      return "it came at " + seconds(e.time_ns) + ", too late";
  return frames.empty() ? "no frame came by then" : "it received " + shortened(frames);
}

std::string ScenarioCheck::judge(const Expectation& x) const {
  switch (x.kind) {
    case ExpectKind::kLine:
      return line_seen(x);
    case ExpectKind::kStrip:
      return strip_seen(x);
    case ExpectKind::kLens:
      return lens_seen(x);
    case ExpectKind::kLight:
      return light_seen(x);
    case ExpectKind::kCom1:
      return com1_seen(x);
    case ExpectKind::kCom2:
      return com2_seen(x);
    case ExpectKind::kExit:
      if (!ended_)
        return "the run did not end";
      return exit_status_ == x.exit_status ? "" : "it exited with " + std::to_string(exit_status_);
  }
  return "";
}

std::vector<std::string> ScenarioCheck::failures() const {
  std::vector<std::string> out;
  for (const Expectation& x : expectations_) {
    std::string seen = judge(x);
    if (!seen.empty())
      out.push_back(x.where + ": expected " + describe_expectation(x) + ", but " + seen);
  }
  return out;
}

}  // namespace kivsim
