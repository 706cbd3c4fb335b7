// SPDX-License-Identifier: MIT
#include "scenario_check.h"

#include <cstdio>
#include <iterator>

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

std::string shortened(std::string text) {
  if (text.size() > kMaxShown)
    text = "..." + text.substr(text.size() - kMaxShown);
  return text;
}

}  // namespace

ScenarioCheck::ScenarioCheck(std::vector<Expectation> expectations)
    : expectations_(std::move(expectations)) {
  for (const Expectation& x : expectations_) {
    const std::optional<EventPattern>& from = x.after ? x.after : x.when;
    watches_.push_back(from ? std::make_unique<EventWatch>(*from) : nullptr);
  }
  occurrences_.resize(expectations_.size());
}

void ScenarioCheck::see(const Event& e) {
  for (size_t i = 0; i < watches_.size(); ++i)
    if (watches_[i] && watches_[i]->see(e))
      occurrences_[i].push_back(e.time_ns);
  const bool deed = e.kind == EventKind::kWrite || e.kind == EventKind::kWritten ||
                    e.kind == EventKind::kTransfer || e.kind == EventKind::kFrame;
  if (!e.changes.empty() || deed) {
    apply_change(end_, e.changes);
    auto at = changes_.end();
    while (at != changes_.begin() && std::prev(at)->time_ns > e.time_ns)
      --at;
    changes_.insert(at, Change{e.time_ns, e.kind, e.changes, e.pin, e.result});
  }
  if (e.source == EventSource::kCom1 && e.kind == EventKind::kReceived)
    com1_.push_back({e.time_ns, e.bytes});
  if (e.source == EventSource::kCom2 && e.kind == EventKind::kFrame)
    frames_.push_back({e.time_ns, e.bytes});
}

DeviceState ScenarioCheck::state_at(int64_t ns) const {
  DeviceState state;
  for (const Change& c : changes_) {
    if (c.time_ns > ns)
      break;
    apply_change(state, c.change);
  }
  return state;
}

const ScenarioCheck::Change* ScenarioCheck::last_change(int64_t ns,
                                                        std::initializer_list<StateField> fields,
                                                        int pin) const {
  const Change* last = nullptr;
  for (const Change& c : changes_) {
    if (c.time_ns > ns)
      break;
    for (StateField field : fields)
      if (c.change.find(field, pin))
        last = &c;
  }
  return last;
}

std::string ScenarioCheck::line_seen(const Expectation& x, int64_t at) const {
  // An output is what the program wrote; an input what reached it. A pin
  // without a name may be either.
  const bool output = is_driven_pin(x.pin);
  const bool input = is_input_pin(x.pin);
  std::initializer_list<StateField> outputs = {StateField::kOutput};
  std::initializer_list<StateField> inputs = {StateField::kInput};
  std::initializer_list<StateField> either = {StateField::kOutput, StateField::kInput};
  const Change* last = last_change(at, output ? outputs : input ? inputs : either, x.pin);
  if (!last)
    return output ? "the program never wrote it" : "the line was never set";
  const FieldChange* f = last->change.find(StateField::kOutput, x.pin);
  if (!f || input)
    f = last->change.find(StateField::kInput, x.pin);
  const int level = f->value != 0 ? 1 : 0;
  if (level == x.level)
    return "";
  return "it was " + std::to_string(level) + " (" + kind_name(last->kind) + " at " +
         seconds(last->time_ns) + ")";
}

std::string ScenarioCheck::strip_seen(const Expectation& x, int64_t at) const {
  const DeviceState state = state_at(at);
  if (state.renders == 0)
    return "the strip was never rendered";
  const std::vector<uint32_t>& leds = state.leds;
  if (strip_shows(leds, x.leds))
    return "";
  const Change* render = last_change(at, {StateField::kRenders});
  return "it showed " + strip_colours_text(leds) + " (rendered at " + seconds(render->time_ns) +
         ")";
}

std::string ScenarioCheck::lens_seen(const Expectation& x, int64_t at) const {
  const int value = state_at(at).lens_value;
  if (value == x.lens)
    return "";
  const Change* last = last_change(at, {StateField::kLensValue});
  return "it was " + std::to_string(value) +
         (last ? " (since " + seconds(last->time_ns) + ")" : " (never written)");
}

std::string ScenarioCheck::light_seen(const Expectation& x, int64_t at) const {
  const LightControllerState state = state_at(at).light;
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
  const Change* last =
      last_change(at, {StateField::kChannels, StateField::kWorkMode, StateField::kLightOn,
                       StateField::kFlashCount, StateField::kFlashTime, StateField::kBrightness,
                       StateField::kFlashes});
  return wrong + (last ? " (since " + seconds(last->time_ns) + ")" : " (nothing received)");
}

std::string ScenarioCheck::com1_seen(const Expectation& x, int64_t at) const {
  std::string received;
  for (const Bytes& e : com1_)
    if (e.time_ns <= at)
      received += e.bytes;
  auto holds = [&x](const std::string& text) {
    return x.kind == ExpectKind::kCom1Match ? std::regex_search(text, *x.match)
                                            : text.find(x.bytes) != std::string::npos;
  };
  if (holds(received))
    return "";
  std::string later;
  for (const Bytes& e : com1_)
    if (e.time_ns > at)
      later += e.bytes;
  std::string seen =
      received.empty() ? "nothing came by then" : "it received " + shortened(quoted_text(received));
  if (holds(received + later))
    seen += "; it came later";
  return seen;
}

std::string ScenarioCheck::com2_seen(const Expectation& x, int64_t at) const {
  std::string frames;
  for (const Bytes& e : frames_) {
    if (e.time_ns > at)
      continue;
    if (e.bytes == x.bytes)
      return "";
    frames += (frames.empty() ? "" : " | ") + hex_bytes(e.bytes);
  }
  for (const Bytes& e : frames_)
    if (e.time_ns > at && e.bytes == x.bytes)
      return "it came at " + seconds(e.time_ns) + ", too late";
  return frames.empty() ? "no frame came by then" : "it received " + shortened(frames);
}

std::string ScenarioCheck::judge_at(const Expectation& x, int64_t at) const {
  switch (x.kind) {
    case ExpectKind::kLine:
      return line_seen(x, at);
    case ExpectKind::kStrip:
      return strip_seen(x, at);
    case ExpectKind::kLens:
      return lens_seen(x, at);
    case ExpectKind::kLight:
      return light_seen(x, at);
    case ExpectKind::kCom1:
    case ExpectKind::kCom1Match:
      return com1_seen(x, at);
    case ExpectKind::kCom2:
      return com2_seen(x, at);
    case ExpectKind::kExit:
      if (!end_.ended)
        return "the run did not end";
      return end_.exit_status == x.exit_status
                 ? ""
                 : "it exited with " + std::to_string(end_.exit_status);
  }
  return "";
}

std::string ScenarioCheck::judge(size_t index, std::vector<int64_t>& delays) const {
  const Expectation& x = expectations_[index];
  const std::vector<int64_t>& occurrences = occurrences_[index];
  if (x.after)
    return delays_seen(x, occurrences, delays);
  if (!x.when)
    return judge_at(x, ms_to_ns(x.ms));
  if (occurrences.empty())
    return x.when->text + " never happened";
  std::string seen = judge_at(x, occurrences.front());
  return seen.empty() ? ""
                      : seen + " (" + x.when->text + " at " + seconds(occurrences.front()) + ")";
}

std::vector<ExpectationResult> ScenarioCheck::results() const {
  std::vector<ExpectationResult> out;
  for (size_t i = 0; i < expectations_.size(); ++i) {
    const Expectation& x = expectations_[i];
    ExpectationResult r;
    r.where = x.where;
    r.description = describe_expectation(x);
    const std::string seen = judge(i, r.delays_ns);
    r.held = seen.empty();
    if (!r.held)
      r.message = x.where + ": expected " + r.description + ", but " + seen;
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<std::string> ScenarioCheck::failures() const {
  std::vector<std::string> out;
  for (const ExpectationResult& r : results())
    if (!r.held)
      out.push_back(r.message);
  return out;
}

}  // namespace kivsim
