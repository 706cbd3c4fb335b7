// SPDX-License-Identifier: MIT
#include "waveform.h"

#include "board_map.h"
#include "device_state.h"

namespace kivsim {

Waveform::Waveform() {
  file_.header_comment(
      "com1_tx, com2_tx: the bytes the program wrote; com1_rx, com2_rx: the bytes it was "
      "sent. Bytes read together are laid out back to back from the time the launcher "
      "read them (the notes below say where). The I2C bus runs at 100 kHz.");
  pins_.fill(-1);
  for (const BoardLine& line : board_lines()) {
    if (line.kind == LineKind::kStrip)
      continue;
    input_pin_[static_cast<size_t>(line.pin)] = line.kind == LineKind::kInput;
    pins_[static_cast<size_t>(line.pin)] = file_.add_var("gpio", line.name, 1, VcdFile::kUnknown);
  }
  const char* const ports[] = {"com1", "com2"};
  for (int port = 0; port < 2; ++port)
    for (int dir = 0; dir < 2; ++dir) {
      const std::string name = std::string(ports[port]) + (dir == 0 ? "_tx" : "_rx");
      com_[port][dir] =
          std::make_unique<UartWave>(file_, file_.add_var(ports[port], name, 1, 1), name);
    }
  const int scl = file_.add_var("i2c", "scl", 1, 1);
  bus_ = std::make_unique<I2cWave>(file_, scl, file_.add_var("i2c", "sda", 1, 1));
  for (size_t i = 0; i < kLeds; ++i)
    leds_[i] = file_.add_var("strip", "led" + std::to_string(i), 24, VcdFile::kUnknown);
  const LightControllerState light;
  light_on_ = file_.add_var("light", "light_on", 1, light.light_on);
  channels_ = file_.add_var("light", "channels", 4, 0);
  work_mode_ = file_.add_var("light", "work_mode", 8, static_cast<uint32_t>(light.work_mode));
  brightness_ = file_.add_var("light", "brightness", 16, static_cast<uint32_t>(light.brightness));
  flash_count_ =
      file_.add_var("light", "flash_count", 16, static_cast<uint32_t>(light.flash_count));
  flash_time_ = file_.add_var("light", "flash_time", 16, static_cast<uint32_t>(light.flash_time));
  const DeviceState state;
  lens_value_ = file_.add_var("lens", "lens_value", 16, static_cast<uint32_t>(state.lens_value));
  vtemp_ = file_.add_var("lens", "vtemp", 16, static_cast<uint32_t>(state.vtemp));
}

int Waveform::pin_var(int pin, bool input) {
  if (pin < 0 || pin >= kBoardPins)
    return -1;
  const size_t at = static_cast<size_t>(pin);
  if (pins_[at] < 0) {
    // A pin without a name: drawn from the first of its changes.
    input_pin_[at] = input;
    pins_[at] = file_.add_var("gpio", "pin" + std::to_string(pin), 1, VcdFile::kUnknown);
  }
  return input_pin_[at] == input ? pins_[at] : -1;
}

void Waveform::see(const Event& e) {
  file_.extend_to(e.time_ns);
  if (e.source == EventSource::kCom1 || e.source == EventSource::kCom2) {
    const int port = e.source == EventSource::kCom1 ? 0 : 1;
    if (e.kind == EventKind::kReceived || e.kind == EventKind::kFrame)
      com_[port][0]->add(e.time_ns, e.bytes, e.line);
    else if (e.kind == EventKind::kSent)
      com_[port][1]->add(e.time_ns, e.bytes, e.line);
  }
  if (e.source == EventSource::kI2c && e.kind == EventKind::kTransfer)
    bus_->transfer(e.time_ns, e.messages);
  see_changes(e);
}

void Waveform::see_changes(const Event& e) {
  for (const FieldChange& c : e.changes.fields) {
    const uint32_t value = static_cast<uint32_t>(c.value);
    int var = -1;
    switch (c.field) {
      case StateField::kOutput:
      case StateField::kInput:
        var = pin_var(c.pin, c.field == StateField::kInput);
        break;
      case StateField::kChannels:
        var = channels_;
        break;
      case StateField::kWorkMode:
        var = work_mode_;
        break;
      case StateField::kLightOn:
        var = light_on_;
        break;
      case StateField::kBrightness:
        var = brightness_;
        break;
      case StateField::kFlashCount:
        var = flash_count_;
        break;
      case StateField::kFlashTime:
        var = flash_time_;
        break;
      case StateField::kLensValue:
        var = lens_value_;
        break;
      case StateField::kVTemp:
        var = vtemp_;
        break;
      case StateField::kBusStuck:
        bus_->stuck(e.time_ns, c.value != 0);
        break;
      case StateField::kLeds:
        for (size_t i = 0; i < kLeds && i < e.changes.leds.size(); ++i)
          file_.change(e.time_ns, leds_[i], e.changes.leds[i] & 0xFFFFFF);
        break;
      default:
        break;
    }
    if (var >= 0)
      file_.change(e.time_ns, var, value);
  }
}

}  // namespace kivsim
