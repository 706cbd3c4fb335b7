// SPDX-License-Identifier: MIT
// The device as one command, or a shell's sequence of them, holds it: the
// library's facade brought up once with setup() and closed at the end.
#pragma once

#include <stdexcept>
#include <string>

#include "kiv_io.h"

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
  // The facade without setup(), for what needs no more than the instance
  // (creating it touches no hardware).
  kiv::KivIo& instance();
  bool up() const { return up_; }
  // close_io(): the ports close and their readers end; the lines keep their
  // levels, as the library leaves them.
  void close();

 private:
  bool up_ = false;
  bool created_ = false;
};

// What a command runs in: one device for the whole of a shell's input.
struct Session {
  Device device;
  bool in_shell = false;
};

}  // namespace kivctl
