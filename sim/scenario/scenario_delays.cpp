// SPDX-License-Identifier: MIT
// Expectations "within" a time "after" an event: how long after each
// occurrence the program did what they expect.
#include <algorithm>
#include <cstdio>

#include "scenario_check.h"

namespace kivsim {
namespace {

std::string ms_text(int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(ns) / 1e6);
  return text;
}

std::string seconds(int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ns) / 1e9);
  return text;
}

}  // namespace

// Whether `c` is the program doing what `x` expects, done again or for the
// first time: a level written or given, a render, a lens transfer that went
// through, a light controller frame.
bool ScenarioCheck::touches(const Expectation& x, const Change& c) {
  const StateChange& change = c.change;
  switch (x.kind) {
    case ExpectKind::kLine:
      return change.find(StateField::kOutput, x.pin) || change.find(StateField::kInput, x.pin) ||
             ((c.kind == EventKind::kWrite || c.kind == EventKind::kWritten) && c.pin == x.pin);
    case ExpectKind::kStrip:
      return change.find(StateField::kRenders) != nullptr;
    case ExpectKind::kLens:
      return change.find(StateField::kLensValue) ||
             (c.kind == EventKind::kTransfer && c.result >= 0);
    case ExpectKind::kLight:
      if (c.kind == EventKind::kFrame)
        return true;
      for (StateField f : {StateField::kChannels, StateField::kWorkMode, StateField::kLightOn,
                           StateField::kFlashCount, StateField::kFlashTime, StateField::kBrightness,
                           StateField::kFlashes})
        if (change.find(f))
          return true;
      return false;
    default:
      return false;
  }
}

namespace {

bool holds(const Expectation& x, const DeviceState& state) {
  switch (x.kind) {
    case ExpectKind::kLine:
      return line_level(state, x.pin) == x.level;
    case ExpectKind::kStrip:
      return state.renders > 0 && strip_shows(state.leds, x.leds);
    case ExpectKind::kLens:
      return state.lens_value == x.lens;
    case ExpectKind::kLight:
      for (const auto& f : x.light) {
        int value = 0;
        if (!light_field(f.first, state.light, value) || value != f.second)
          return false;
      }
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string delays_text(const std::vector<int64_t>& delays_ns) {
  if (delays_ns.empty())
    return "no delay measured";
  std::vector<int64_t> sorted = delays_ns;
  std::sort(sorted.begin(), sorted.end());
  return "worst " + ms_text(sorted.back()) + ", median " + ms_text(sorted[sorted.size() / 2]) +
         " over " + std::to_string(sorted.size());
}

int64_t ScenarioCheck::state_done_at(const Expectation& x, int64_t from_ns) const {
  DeviceState state;
  for (const Change& c : changes_) {
    apply_change(state, c.change);
    if (c.time_ns >= from_ns && touches(x, c) && holds(x, state))
      return c.time_ns;
  }
  return -1;
}

int64_t ScenarioCheck::bytes_done_at(const Expectation& x, int64_t from_ns) const {
  if (x.kind == ExpectKind::kCom2) {
    for (const Bytes& f : frames_)
      if (f.time_ns >= from_ns && f.bytes == x.bytes)
        return f.time_ns;
    return -1;
  }
  std::string text;
  for (const Bytes& b : com1_) {
    if (b.time_ns < from_ns)
      continue;
    text += b.bytes;
    const bool found = x.kind == ExpectKind::kCom1Match ? std::regex_search(text, *x.match)
                                                        : text.find(x.bytes) != std::string::npos;
    if (found)
      return b.time_ns;
  }
  return -1;
}

int64_t ScenarioCheck::done_at(const Expectation& x, int64_t from_ns) const {
  const bool bytes = x.kind == ExpectKind::kCom1 || x.kind == ExpectKind::kCom1Match ||
                     x.kind == ExpectKind::kCom2;
  return bytes ? bytes_done_at(x, from_ns) : state_done_at(x, from_ns);
}

std::string ScenarioCheck::delays_seen(const Expectation& x,
                                       const std::vector<int64_t>& occurrences,
                                       std::vector<int64_t>& delays) const {
  if (occurrences.empty())
    return x.after->text + " never happened";
  int64_t missing = -1, slowest = -1, slowest_from = 0;
  for (int64_t from : occurrences) {
    const int64_t done = done_at(x, from);
    if (done < 0) {
      if (missing < 0)
        missing = from;
      continue;
    }
    delays.push_back(done - from);
    if (done - from > slowest) {
      slowest = done - from;
      slowest_from = from;
    }
  }
  const std::string measured = " (" + delays_text(delays) + ")";
  if (missing >= 0)
    return "it never came after the one at " + seconds(missing) + measured;
  if (slowest > static_cast<int64_t>(x.within_ms) * 1000000)
    return "it took " + ms_text(slowest) + " after the one at " + seconds(slowest_from) + measured;
  return "";
}

}  // namespace kivsim
