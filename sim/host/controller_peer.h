// SPDX-License-Identifier: MIT
// The launcher's light controller on "/dev/com2": the shared model of the
// controller, shown in the display. Each frame is one line with its meaning
// ("com2  <- 31 2D 31 0D 0A   channel 1 on"), each change of the controller's
// state one more ("state channel 1 off -> on").
#pragma once

#include <string>

#include "event_log.h"
#include "light_controller.h"

namespace kivsim {

class ControllerPeer {
 public:
  // Takes `fd`, the master of "/dev/com2" (made non-blocking); the sandbox
  // keeps ownership.
  explicit ControllerPeer(int fd);

  int fd() const { return fd_; }
  // Reads and shows everything the program has written so far.
  void on_readable(EventLog& log);
  // Shows a frame left unfinished (the line went quiet, or the program ended).
  void finish(EventLog& log);
  bool has_partial() const { return model_.has_partial(); }
  // Sends `bytes` to the program and shows them. False when the line did not
  // take them all within a second.
  bool send(const std::string& bytes, EventLog& log);
  // The hardware notification FF AA EE.
  bool send_notification(EventLog& log);
  // The controller hangs up (a frame left unfinished is shown first), and a
  // new line takes its place (port_peer.h).
  void hang_up(EventLog& log);
  void reconnect(int master, EventLog& log);

  const LightControllerState& state() const { return model_.state(); }

 private:
  void show_events(EventLog& log);
  bool sent(bool ok, const std::string& bytes, const std::string& text, EventLog& log);
  int fd_;
  LightController model_;
  bool hung_up_ = false;
};

}  // namespace kivsim
