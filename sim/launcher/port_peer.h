// SPDX-License-Identifier: MIT
// The peers of the program's serial ports, on the masters of their
// pseudo-terminals: com1 shows what the program wrote; com2 is the light
// controller, which shows each frame with its meaning and can send the
// hardware notification.
#pragma once

#include <string>

#include "event_log.h"
#include "light_frames.h"

namespace kivsim {

class PortPeer {
 public:
  // `tag` names the port in the display ("com1"); `light_controller` makes
  // the peer decode light controller frames. Takes `fd` (made non-blocking);
  // the sandbox keeps ownership.
  PortPeer(const char* tag, int fd, bool light_controller);

  int fd() const { return fd_; }
  const char* tag() const { return tag_; }
  // Reads and shows everything the program has written so far.
  void on_readable(EventLog& log);
  // Shows a frame left unfinished (the line went quiet, or the program ended).
  void finish(EventLog& log);
  bool has_partial() const { return decoder_.has_partial(); }
  // Sends `bytes` to the program and shows them. Returns false when the
  // line did not take them all within a second.
  bool send(const std::string& bytes, EventLog& log);
  // The light controller's hardware notification FF AA EE.
  bool send_notification(EventLog& log);

  size_t bytes_received() const { return bytes_in_; }
  size_t frames_received() const { return frames_; }
  size_t unknown_frames() const { return unknown_; }

 private:
  bool write_all(const std::string& bytes);
  void show_frames(EventLog& log);
  const char* tag_;
  int fd_;
  bool light_controller_;
  LightFrameDecoder decoder_;
  std::vector<LightFrame> decoded_;
  size_t bytes_in_ = 0;
  size_t frames_ = 0;
  size_t unknown_ = 0;
};

// "<- \"hello\\r\\n\" (7 bytes)", with the hex after the text when any byte
// is not text. `arrow` is "<-" (from the program) or "->" (to it).
std::string describe_raw(const char* arrow, const std::string& bytes);

}  // namespace kivsim
