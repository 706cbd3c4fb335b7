// SPDX-License-Identifier: MIT
// The light controller on "/dev/com2", as the simulated board's model of it:
// it takes the frames the library writes, keeps the controller's state
// (channels, work mode, light, flash count and time, brightness, frames it
// could not decode), reports each frame with the changes it made, and sends
// the hardware notification FF AA EE on demand. Tests, the launcher and other
// tools share it instead of reading frames themselves.
//
// Threads: one model is used by one thread at a time; it keeps no thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "light_frames.h"

namespace kivsim {

// What the controller holds. A controller just powered: everything off or 0.
struct LightControllerState {
  bool channel_on[4] = {false, false, false, false};  // channels 1..4
  int work_mode = 0;
  bool light_on = false;
  int flash_count = 0;
  int flash_time = 0;
  int brightness = 0;
  int flashes = 0;            // flash commands carried out
  size_t frames = 0;          // everything received, decoded or not
  size_t unknown_frames = 0;  // frames and stray bytes it could not decode
};

// One received frame, what it changed and the state it left, as "channel 1 off -> on", "work
// mode 1 -> 5", "flashes 0 -> 1". No change: `changes` is empty.
struct LightEvent {
  LightFrame frame;
  std::vector<std::string> changes;
  LightControllerState after;  // the whole state once the frame was applied
};

class LightController {
 public:
  // `line_fd`: the master side of the controller's pseudo-terminal, read and
  // written but never closed by the model (-1: bytes come through receive
  // only).
  explicit LightController(int line_fd = -1);

  // Takes bytes as they arrive from the library and applies every frame they
  // complete.
  void receive(const char* data, size_t len);
  // Waits up to `wait_ms` for bytes on the line, then takes what it holds.
  // Returns false when nothing came.
  bool read_line(int wait_ms = 0);
  // The line went quiet: an unfinished frame counts as one it could not decode.
  void finish();
  // True while bytes wait for the rest of their frame.
  bool has_partial() const { return decoder_.has_partial(); }
  // The events since the last call, oldest first.
  std::vector<LightEvent> take_events();
  const LightControllerState& state() const { return state_; }

  // For tests: reads until `frames` frames have come (or `timeout_ms` passed)
  // and then until the line stays quiet for `quiet_ms`, and returns all events
  // not taken before, an unfinished frame included.
  std::vector<LightEvent> collect(size_t frames, int quiet_ms = 50, int timeout_ms = 3000);

  // Sends raw bytes to the library. False when the line did not take them all
  // within a second.
  bool send(const std::string& bytes);
  // Sends the hardware notification FF AA EE.
  bool send_notification() { return send(notification()); }
  static std::string notification() { return std::string("\xFF\xAA\xEE", 3); }

 private:
  void apply(const LightFrame& frame);
  int fd_;
  LightFrameDecoder decoder_;
  std::vector<LightFrame> decoded_;
  std::vector<LightEvent> events_;
  LightControllerState state_;
};

// The whole state in one line: "channels on: 1 3; work mode 5; light on;
// flash count 10, time 0, 1 flash; brightness 24".
std::string describe_light_state(const LightControllerState& state);

// The frames of `events` in hex, separated by " | ": "35 2D 05 0D 0A | 39 2D 01 0D 0A".
std::string frames_hex(const std::vector<LightEvent>& events);

}  // namespace kivsim
