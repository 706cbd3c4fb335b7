// SPDX-License-Identifier: MIT
// The raw peer of a program's serial port (com1), on the master of its
// pseudo-terminal: shows what the program wrote and sends text to it. The
// light controller on com2 is a ControllerPeer.
#pragma once

#include <string>

#include "event_log.h"

namespace kivsim {

class PortPeer {
 public:
  // `tag` names the port in the display ("com1"). Takes `fd` (made
  // non-blocking); the sandbox keeps ownership.
  PortPeer(const char* tag, int fd);

  int fd() const { return fd_; }
  const char* tag() const { return tag_; }
  // Reads and shows everything the program has written so far.
  void on_readable(EventLog& log);
  // Sends `bytes` to the program and shows them. Returns false when the
  // line did not take them all within a second.
  bool send(const std::string& bytes, EventLog& log);
  // The peer hangs up (hang_up_line), and a new line takes its place.
  void hang_up(EventLog& log);
  void reconnect(int master, EventLog& log);
  bool hung_up() const { return hung_up_; }

 private:
  bool write_all(const std::string& bytes);
  const char* tag_;
  int fd_;
  bool hung_up_ = false;
};

// A peer that hangs up closes the master of its line: the program's side
// then reads the hang-up and its writes fail (EIO), as a line whose far end
// is gone. In the master's place, under the same number, stays a descriptor
// that never turns readable, so that the run's sources and the launcher's
// notes of the line keep their descriptor and the number cannot be handed
// to another open meanwhile. False when no place holder could be made.
bool hang_up_line(int fd);
// Puts `master`, the master of a new line, in `fd`'s place (non-blocking,
// close-on-exec) and closes `master`'s own number. The program finds the new
// line when it opens the port again.
bool take_new_line(int fd, int master);

// "<- \"hello\\r\\n\" (7 bytes)", with the hex after the text when any byte
// is not text. `arrow` is "<-" (from the program) or "->" (to it).
std::string describe_raw(const char* arrow, const std::string& bytes);

}  // namespace kivsim
