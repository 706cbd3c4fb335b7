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

 private:
  bool write_all(const std::string& bytes);
  const char* tag_;
  int fd_;
};

// "<- \"hello\\r\\n\" (7 bytes)", with the hex after the text when any byte
// is not text. `arrow` is "<-" (from the program) or "->" (to it).
std::string describe_raw(const char* arrow, const std::string& bytes);

}  // namespace kivsim
