// SPDX-License-Identifier: MIT
#include "device_state.h"

namespace kivsim {
namespace {

bool on_board(int pin) {
  return pin >= 0 && pin < kBoardPins;
}

long channel_bits(const LightControllerState& light) {
  long bits = 0;
  for (int c = 0; c < 4; ++c)
    if (light.channel_on[c])
      bits |= 1L << c;
  return bits;
}

void put(DeviceState& s, StateField field, int pin, long v) {
  const int n = static_cast<int>(v);
  switch (field) {
    case StateField::kOutput:
      if (on_board(pin))
        s.output[pin] = n;
      break;
    case StateField::kInput:
      if (on_board(pin))
        s.input[pin] = n;
      break;
    case StateField::kChannels:
      for (int c = 0; c < 4; ++c)
        s.light.channel_on[c] = (v >> c) & 1;
      break;
    case StateField::kWorkMode:
      s.light.work_mode = n;
      break;
    case StateField::kLightOn:
      s.light.light_on = v != 0;
      break;
    case StateField::kFlashCount:
      s.light.flash_count = n;
      break;
    case StateField::kFlashTime:
      s.light.flash_time = n;
      break;
    case StateField::kBrightness:
      s.light.brightness = n;
      break;
    case StateField::kFlashes:
      s.light.flashes = n;
      break;
    case StateField::kFrames:
      s.light.frames = static_cast<size_t>(v);
      break;
    case StateField::kLensValue:
      s.lens_value = n;
      break;
    case StateField::kVTemp:
      s.vtemp = n;
      break;
    case StateField::kBusPresent:
      s.bus.present = v != 0;
      break;
    case StateField::kBusStuck:
      s.bus.stuck = v != 0;
      break;
    case StateField::kBusAnswering:
      s.bus.answering = v != 0;
      break;
    case StateField::kLeds:
      break;  // the colours travel beside the fields
    case StateField::kRenders:
      s.renders = n;
      break;
    case StateField::kStripFaults:
      s.strip_faults = n;
      break;
    case StateField::kStarted:
      s.started = v != 0;
      break;
    case StateField::kEnded:
      s.ended = v != 0;
      break;
    case StateField::kExitStatus:
      s.exit_status = n;
      break;
    case StateField::kEdgesRaised:
      s.edges_raised = v;
      break;
    case StateField::kHandlersRun:
      s.handlers_run = v;
      break;
    case StateField::kReportsLost:
      s.reports_lost = v;
      break;
    case StateField::kCom1Bytes:
      s.com1_bytes = v;
      break;
  }
}

// Sets fields of one state and notes each that took a new value.
class Fold {
 public:
  explicit Fold(DeviceState& state) : s_(state) {}
  void set(StateField field, long value, int pin = -1) {
    if (field_value(s_, field, pin) == value)
      return;
    put(s_, field, pin, value);
    change_.fields.push_back({field, pin, value});
  }
  void add(StateField field, long count) { set(field, field_value(s_, field) + count); }
  void set_leds(const std::vector<uint32_t>& leds) {
    if (s_.leds == leds)
      return;
    s_.leds = leds;
    change_.leds = leds;
    change_.fields.push_back({StateField::kLeds, -1, static_cast<long>(leds.size())});
  }
  StateChange take() { return std::move(change_); }

 private:
  DeviceState& s_;
  StateChange change_;
};

void fold_gpio(Fold& fold, const Event& e) {
  const bool line = on_board(e.pin) && e.level >= 0;
  const long level = e.level != 0 ? 1 : 0;
  switch (e.kind) {
    case EventKind::kWrite:
    case EventKind::kWritten:
      if (line)
        fold.set(StateField::kOutput, level, e.pin);
      break;
    case EventKind::kRead:
      if (line)
        fold.set(StateField::kInput, level, e.pin);
      break;
    case EventKind::kEdge:
    case EventKind::kLevel:
      // A command that reached no stand-in changed nothing in the program.
      if (!e.sent)
        break;
      if (line)
        fold.set(StateField::kInput, level, e.pin);
      if (e.kind == EventKind::kEdge)
        fold.add(StateField::kEdgesRaised, 1);
      break;
    case EventKind::kHandlerStart:
      fold.add(StateField::kHandlersRun, 1);
      break;
    case EventKind::kLost:
      fold.add(StateField::kReportsLost, e.result);
      break;
    default:
      break;
  }
}

void fold_light(Fold& fold, const LightControllerState& l) {
  fold.set(StateField::kChannels, channel_bits(l));
  fold.set(StateField::kWorkMode, l.work_mode);
  fold.set(StateField::kLightOn, l.light_on ? 1 : 0);
  fold.set(StateField::kFlashCount, l.flash_count);
  fold.set(StateField::kFlashTime, l.flash_time);
  fold.set(StateField::kBrightness, l.brightness);
  fold.set(StateField::kFlashes, l.flashes);
}

}  // namespace

long field_value(const DeviceState& s, StateField field, int pin) {
  switch (field) {
    case StateField::kOutput:
      return on_board(pin) ? s.output[pin] : -1;
    case StateField::kInput:
      return on_board(pin) ? s.input[pin] : -1;
    case StateField::kChannels:
      return channel_bits(s.light);
    case StateField::kWorkMode:
      return s.light.work_mode;
    case StateField::kLightOn:
      return s.light.light_on ? 1 : 0;
    case StateField::kFlashCount:
      return s.light.flash_count;
    case StateField::kFlashTime:
      return s.light.flash_time;
    case StateField::kBrightness:
      return s.light.brightness;
    case StateField::kFlashes:
      return s.light.flashes;
    case StateField::kFrames:
      return static_cast<long>(s.light.frames);
    case StateField::kLensValue:
      return s.lens_value;
    case StateField::kVTemp:
      return s.vtemp;
    case StateField::kBusPresent:
      return s.bus.present ? 1 : 0;
    case StateField::kBusStuck:
      return s.bus.stuck ? 1 : 0;
    case StateField::kBusAnswering:
      return s.bus.answering ? 1 : 0;
    case StateField::kLeds:
      return static_cast<long>(s.leds.size());
    case StateField::kRenders:
      return s.renders;
    case StateField::kStripFaults:
      return s.strip_faults;
    case StateField::kStarted:
      return s.started ? 1 : 0;
    case StateField::kEnded:
      return s.ended ? 1 : 0;
    case StateField::kExitStatus:
      return s.exit_status;
    case StateField::kEdgesRaised:
      return s.edges_raised;
    case StateField::kHandlersRun:
      return s.handlers_run;
    case StateField::kReportsLost:
      return s.reports_lost;
    case StateField::kCom1Bytes:
      return s.com1_bytes;
  }
  return 0;
}

StateChange fold_event(DeviceState& state, const Event& e) {
  Fold fold(state);
  switch (e.source) {
    case EventSource::kGpio:
      fold_gpio(fold, e);
      break;
    case EventSource::kLight:
      if (e.kind == EventKind::kState)
        fold_light(fold, e.light);
      break;
    case EventSource::kCom2:
      if (e.kind == EventKind::kFrame)
        fold.add(StateField::kFrames, 1);
      break;
    case EventSource::kCom1:
      if (e.kind == EventKind::kReceived)
        fold.add(StateField::kCom1Bytes, static_cast<long>(e.bytes.size()));
      break;
    case EventSource::kI2c:
      if (e.kind == EventKind::kRegisters) {
        if (e.lens_value >= 0)
          fold.set(StateField::kLensValue, e.lens_value);
        if (e.vtemp >= 0)
          fold.set(StateField::kVTemp, e.vtemp);
      } else if (e.kind == EventKind::kBus) {
        fold.set(StateField::kBusPresent, e.bus.present ? 1 : 0);
        fold.set(StateField::kBusStuck, e.bus.stuck ? 1 : 0);
        fold.set(StateField::kBusAnswering, e.bus.answering ? 1 : 0);
      }
      break;
    case EventSource::kStrip:
      if (e.kind == EventKind::kRender) {
        fold.set_leds(e.leds);
        fold.add(StateField::kRenders, 1);
      } else if (e.kind == EventKind::kFault) {
        fold.add(StateField::kStripFaults, 1);
      }
      break;
    case EventSource::kSim:
      if (e.kind == EventKind::kStart) {
        fold.set(StateField::kStarted, 1);
      } else if (e.kind == EventKind::kExit) {
        fold.set(StateField::kEnded, 1);
        fold.set(StateField::kExitStatus, e.result);
      }
      break;
    case EventSource::kProgram:
      break;
  }
  return fold.take();
}

void apply_change(DeviceState& state, const StateChange& change) {
  for (const FieldChange& f : change.fields) {
    if (f.field == StateField::kLeds)
      state.leds = change.leds;
    else
      put(state, f.field, f.pin, f.value);
  }
}

std::string outputs_summary(const DeviceState& state) {
  std::string out;
  bool shown[kBoardPins] = {};
  auto add = [&](int pin) {
    if (!on_board(pin) || shown[pin] || state.output[pin] < 0)
      return;
    shown[pin] = true;
    if (!out.empty())
      out += ", ";
    out += pin_label(pin) + "=" + std::to_string(state.output[pin]);
  };
  for (const BoardLine& line : board_lines())
    add(line.pin);
  for (int pin = 0; pin < kBoardPins; ++pin)
    add(pin);
  return out.empty() ? "none written" : out;
}

}  // namespace kivsim
