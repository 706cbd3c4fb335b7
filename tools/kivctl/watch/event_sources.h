// SPDX-License-Identifier: MIT
// The device's sources of events, tapped through the library's callbacks:
// the input lines, the ports' chunks and the light controller's notification.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device.h"
#include "watch/event_queue.h"

namespace kivctl {

class EventSources {
 public:
  EventSources(Session& session, EventQueue& queue) : session_(session), queue_(queue) {}
  // Unregisters every tap, waiting for running callbacks, and closes a port
  // opened alone.
  ~EventSources();
  EventSources(const EventSources&) = delete;
  EventSources& operator=(const EventSources&) = delete;

  // Starts watching `names` (input, trigger, tune, com1, com2, light). Inputs
  // and the light need the device up (setup()); ports watched alone are opened
  // alone, unless the device is up already. False with `error` on a fault.
  bool start(const std::vector<std::string>& names, std::string& error);

  struct Tap {
    EventQueue* queue;
    std::string source;
    int slot = -1;  // a port's: the slot that holds it
  };

 private:
  void tap_input(kiv::KivIo& io, const std::string& name);
  bool tap_port_alone(const std::string& name, std::string& error);
  bool tap_port_of_device(const std::string& name, std::string& error);

  Session& session_;
  EventQueue& queue_;
  std::vector<std::unique_ptr<Tap>> taps_;
  std::vector<std::string> facade_sources_;
  std::vector<int> lone_ports_;  // slot indices of ports opened alone
};

}  // namespace kivctl
