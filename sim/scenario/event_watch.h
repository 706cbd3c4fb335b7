// SPDX-License-Identifier: MIT
// What a scenario waits for, or measures a delay from: a line that rises or
// falls, text the program wrote on com1 (plain or a regular expression), a
// frame it sent the light controller, or the strip or the lens coming to a
// value. A watch follows a run's events and tells each occurrence.
#pragma once

#include <cstdint>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "device_state.h"
#include "event.h"

namespace kivsim {

enum class PatternKind { kLine, kCom1, kCom1Match, kCom2, kStrip, kLens };

struct EventPattern {
  PatternKind kind = PatternKind::kLine;
  std::string text;  // how the file names it, for messages ("trigger rises")
  int pin = -1;      // line: the line and the level it comes to
  int level = 1;
  std::string bytes;                        // com1 text, com2 frame
  std::shared_ptr<const std::regex> match;  // com1_match
  std::vector<uint32_t> leds;               // strip: one colour for all, or one a LED
  int lens = 0;
};

// Whether `leds` (a render's colours) shows `want`: one colour on every LED,
// or one a LED.
bool strip_shows(const std::vector<uint32_t>& leds, const std::vector<uint32_t>& want);

// A line's level as the program knows it: an output by what it wrote, an
// input by what reached it; -1 while neither is known.
int line_level(const DeviceState& state, int pin);

class EventWatch {
 public:
  explicit EventWatch(EventPattern pattern) : pattern_(std::move(pattern)) {}
  // Takes the next event of the run (folding it into a state of its own);
  // true when the pattern occurs with it. A state occurs when the device comes
  // to it, not while it stays; text once it has come whole, after which the
  // watch looks for it again in what follows it.
  bool see(const Event& event);
  const EventPattern& pattern() const { return pattern_; }

 private:
  bool state_matches() const;
  EventPattern pattern_;
  DeviceState state_;
  std::string text_;  // com1 since the last occurrence, its tail only
};

}  // namespace kivsim
