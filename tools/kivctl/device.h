// SPDX-License-Identifier: MIT
// The device as one command, or a shell's sequence of them, holds it: only
// the pieces of the device a command names are brought up, each once, and the library is
// closed at the end. setup(), which moves every line, runs only where asked.
#pragma once

#include <stdexcept>
#include <string>

#include "kiv_io.h"
#include "port/line_settings.h"

namespace kivctl {

class Device {
 public:
  // The device cannot be driven: what() says why, in one line.
  struct Unavailable : std::runtime_error {
    using std::runtime_error::runtime_error;
  };

  Device() = default;
  ~Device() { close(); }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // The facade after setup(), which the first call runs: every output to its
  // start level, both ports open, the brightness frame, the strip started.
  // Before it, the board check the doctor runs: on a board the GPIO library
  // cannot identify, its set-up would end the process (the library's own
  // check refuses it and goes on), so the first call throws Unavailable.
  kiv::KivIo& io();
  // The facade without setup() (creating it touches no hardware), for the
  // lens and for calls on parts brought up below.
  kiv::KivIo& instance();
  // The GPIO library set up, no line touched; throws Unavailable where the
  // board check or the set-up fails.
  void gpio();
  // One of the inputs made ready as setup() makes it (an input pulled down,
  // its interrupt calling the library's handler); no other line touched.
  void input(int pin, const std::string& name);
  // "/dev/com2" open in the slot the library's light calls write to, alone,
  // with the library's notification handler as setup() registers it;
  // throws Unavailable when it cannot be (the port missing, or set-up put it
  // in the other slot).
  void light_port();
  // Throws Unavailable when another process holds `path` open: two programs
  // on one port take each other's bytes. Call before opening a port.
  void claim_port(const std::string& path);
  // `path` opened alone with `line`'s settings through the library's open,
  // in a slot of its own, once no other process holds it (looked at again
  // after the open: a process that opened it at the same moment makes both
  // give way). Returns the slot, or -1 when it cannot be opened; throws
  // Unavailable when another process holds it.
  int open_port(const std::string& path, const LineSettings& line);
  // Throws Unavailable when the lens's bus is missing or cannot be opened,
  // saying which, before a lens command blames the controller.
  void lens_bus();
  // The strip started, when it is not running; whether it runs is for the
  // caller to check (kiv::strip_running()).
  void strip();
  bool up() const { return up_; }
  // close_io(): the ports close and their readers end, the strip stops; the
  // lines keep their levels, as the library leaves them.
  void close();

 private:
  bool up_ = false;
  bool created_ = false;
  bool gpio_ = false;
};

// What a command runs in: one device for the whole of a shell's input.
struct Session {
  Device device;
  bool in_shell = false;
};

}  // namespace kivctl
