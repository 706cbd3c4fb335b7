// SPDX-License-Identifier: MIT
// The device's sources of events, tapped through the library's callbacks:
// the input lines, the ports' chunks and the light controller's notification.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device.h"
#include "port/held_port.h"
#include "watch/event_queue.h"

namespace kivctl {

class EventSources {
 public:
  // A port is opened with `line`'s settings; one this process holds already
  // is opened again with them when `line` is given, else used as it is.
  EventSources(Session& session, EventQueue& queue, const LineSettings* line = nullptr)
      : session_(session), queue_(queue), line_(line) {}
  // Unregisters every tap, waiting for running callbacks, and closes a port
  // opened alone.
  ~EventSources();
  EventSources(const EventSources&) = delete;
  EventSources& operator=(const EventSources&) = delete;

  // Starts watching `names` (input, trigger, tune, com1, com2, light): an
  // input is made ready alone, the light's notification comes from
  // "/dev/com2" opened where the library's light calls write, and a port not
  // open yet is opened alone. No output line moves. False with `error` on a
  // fault; Device::Unavailable when a part cannot be brought up.
  bool start(const std::vector<std::string>& names, std::string& error);

  struct Tap {
    EventQueue* queue;
    std::string source;
    int slot = -1;  // a port's: the slot that holds it
  };

 private:
  void tap_input(kiv::KivIo& io, const std::string& name);
  bool tap_port_alone(const std::string& name, std::string& error);
  void tap_open_port(const std::string& name, int slot);

  Session& session_;
  EventQueue& queue_;
  const LineSettings* line_;
  std::vector<std::unique_ptr<Tap>> taps_;
  std::vector<std::string> started_;
  std::vector<int> lone_ports_;  // slot indices of ports opened alone
  // Held ports opened again with other settings: given theirs back last.
  std::vector<std::unique_ptr<HeldPortSettings>> held_;
};

}  // namespace kivctl
