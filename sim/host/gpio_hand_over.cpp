// SPDX-License-Identifier: MIT
#include "gpio_hand_over.h"

#include "board_map.h"

namespace kivsim {

void GpioHandOver::see(const Event& e) {
  if (e.source != EventSource::kGpio || e.pin < 0 || e.pin >= link::kGpioPins || e.level < 0)
    return;
  Line& line = lines_[static_cast<size_t>(e.pin)];
  const int level = e.level != 0 ? 1 : 0;
  switch (e.kind) {
    case EventKind::kMode:
      // Only the modes a line is read and written in; any other hands over
      // as unknown.
      line.mode = e.level <= 1 ? e.level : -1;
      break;
    case EventKind::kWrite:
    case EventKind::kWritten:
      line.latch = level;
      break;
    case EventKind::kPull:
      line.pull = e.level <= 2 ? e.level : -1;
      break;
    case EventKind::kEdge:
    case EventKind::kLevel:
      line.held = level;
      line.unseen = !e.sent;
      break;
    default:
      break;
  }
}

std::string GpioHandOver::wire_text() const {
  std::string text;
  auto add = [&text](const link::GpioCommand& c) { text += link::encode(c) + "\n"; };
  for (int pin = 0; pin < link::kGpioPins; ++pin) {
    const Line& line = lines_[static_cast<size_t>(pin)];
    // The latch before the mode: an output drives its latch from the start.
    if (line.held >= 0)
      add({link::GpioCommandKind::kLevel, pin, line.held});
    if (line.latch >= 0)
      add({link::GpioCommandKind::kLatch, pin, line.latch});
    if (line.pull >= 0)
      add({link::GpioCommandKind::kPull, pin, line.pull});
    if (line.mode >= 0)
      add({link::GpioCommandKind::kMode, pin, 0, line.mode});
  }
  add({link::GpioCommandKind::kHandedOver});
  return text;
}

std::string GpioHandOver::summary() const {
  std::string out;
  std::array<bool, link::kGpioPins> shown{};
  auto add = [&](int pin) {
    if (pin < 0 || pin >= link::kGpioPins || shown[static_cast<size_t>(pin)])
      return;
    shown[static_cast<size_t>(pin)] = true;
    const Line& line = lines_[static_cast<size_t>(pin)];
    std::string parts;
    auto part = [&parts](const std::string& p) { parts += (parts.empty() ? "" : ", ") + p; };
    if (line.mode >= 0)
      part(line.mode == 1 ? "output" : "input");
    if (line.latch >= 0)
      part("latch " + std::to_string(line.latch));
    if (line.pull >= 0)
      part(line.pull == 2 ? "pulled up" : line.pull == 1 ? "pulled down" : "no pull");
    if (line.held >= 0)
      part("held at " + std::to_string(line.held));
    if (!parts.empty())
      out += (out.empty() ? "" : "; ") + pin_label(pin) + ": " + parts;
  };
  // The board's lines first, in its order, then any other pin.
  for (const BoardLine& line : board_lines())
    add(line.pin);
  for (int pin = 0; pin < link::kGpioPins; ++pin)
    add(pin);
  return out;
}

std::vector<std::pair<int, int>> GpioHandOver::take_unseen() {
  std::vector<std::pair<int, int>> levels;
  for (int pin = 0; pin < link::kGpioPins; ++pin) {
    Line& line = lines_[static_cast<size_t>(pin)];
    if (line.unseen)
      levels.emplace_back(pin, line.held);
    line.unseen = false;
  }
  return levels;
}

}  // namespace kivsim
