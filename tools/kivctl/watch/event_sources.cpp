// SPDX-License-Identifier: MIT
#include "watch/event_sources.h"

#include <algorithm>

#include "kiv_serial.h"
#include "serial/port_table.h"

namespace kivctl {
namespace {

using Tap = EventSources::Tap;

void on_level(int level, void* user) {
  Tap& tap = *static_cast<Tap*>(user);
  WatchedEvent e;
  stamp(e);
  e.source = tap.source;
  e.level = level;
  tap.queue->push(std::move(e));
}

void on_chunk(const unsigned char* data, int len, void* user) {
  Tap& tap = *static_cast<Tap*>(user);
  WatchedEvent e;
  stamp(e);
  e.source = tap.source;
  e.bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(len));
  tap.queue->push(std::move(e));
}

// com2 watched through the facade replaces the library's notification handler
// as the port's callback; each chunk still goes to that handler, so the
// library alone decides what a notification is.
void on_com2_chunk(const unsigned char* data, int len, void* user) {
  on_chunk(data, len, user);
  char chunk[1025];
  std::copy(data, data + len, chunk);
  chunk[len] = '\0';
  kiv::callbackHardware(chunk);
}

void on_notification(void* user) {
  Tap& tap = *static_cast<Tap*>(user);
  WatchedEvent e;
  stamp(e);
  e.source = tap.source;
  tap.queue->push(std::move(e));
}

using LevelFn = void (*)(int, void*);
using HardwareFn = void (*)(void*);

bool needs_device(const std::string& name) {
  return name != "com1" && name != "com2";
}

}  // namespace

bool EventSources::start(const std::vector<std::string>& names, std::string& error) {
  for (const std::string& n : names) {
    if (n != "input" && n != "trigger" && n != "tune" && n != "com1" && n != "com2" &&
        n != "light") {
      error = "'" + n + "' is nothing to watch (input, trigger, tune, com1, com2, light)";
      return false;
    }
  }
  bool facade = session_.device.up() || std::any_of(names.begin(), names.end(), needs_device);
  if (!facade) {
    for (const std::string& n : names)
      if (!tap_port_alone(n, error))
        return false;
    return true;
  }
  kiv::KivIo& io = session_.device.io();
  for (const std::string& n : names) {
    if (std::find(facade_sources_.begin(), facade_sources_.end(), n) != facade_sources_.end())
      continue;
    if (n == "com1" || n == "com2") {
      if (!tap_port_of_device(n, error))
        return false;
      facade_sources_.push_back(n);
      continue;
    }
    taps_.push_back(std::make_unique<Tap>(Tap{&queue_, n}));
    Tap* tap = taps_.back().get();
    if (n == "light")
      io.registerHardware(on_notification, tap);
    else
      tap_input(io, n);
    facade_sources_.push_back(n);
  }
  return true;
}

void EventSources::tap_input(kiv::KivIo& io, const std::string& name) {
  Tap* tap = taps_.back().get();
  if (name == "input")
    io.registerInput(on_level, tap);
  else if (name == "trigger")
    io.registerTrigger(on_level, tap);
  else
    io.registerTune(on_level, tap);
}

// The device's set-up opened the port into a slot; a missing com1 puts com2
// in the first, so the slot is found by the port's path.
bool EventSources::tap_port_of_device(const std::string& name, std::string& error) {
  const std::string path = "/dev/" + name;
  const int slot = kiv::serial::slot_holding(path.c_str());
  if (slot < 0) {
    error = "cannot watch " + path + ": it is not open (it was missing at set-up)";
    return false;
  }
  taps_.push_back(std::make_unique<Tap>(Tap{&queue_, name, slot}));
  SetReadSerialPortDataCallback(name == "com2" ? on_com2_chunk : on_chunk, taps_.back().get(),
                                slot);
  return true;
}

bool EventSources::tap_port_alone(const std::string& name, std::string& error) {
  std::string path = "/dev/" + name;
  int index = SerialPortInitEX(&path[0], 115200, 8, 1, 'N');
  if (index < 0) {
    error = "cannot open " + path;
    return false;
  }
  lone_ports_.push_back(index);
  taps_.push_back(std::make_unique<Tap>(Tap{&queue_, name}));
  SetReadSerialPortDataCallback(on_chunk, taps_.back().get(), index);
  return true;
}

EventSources::~EventSources() {
  for (int index : lone_ports_)
    SerialPortFree(index);
  if (facade_sources_.empty())
    return;
  kiv::KivIo& io = session_.device.io();
  for (const auto& tap : taps_) {
    // The library's own notification handler again, where the set-up put it.
    if (tap->source == "com2" && tap->slot == 1)
      svSetSerialReadCallback(kiv::callbackHardware, 1);
    else if (tap->slot >= 0)
      SetReadSerialPortDataCallback(nullptr, nullptr, tap->slot);
  }
  for (const std::string& n : facade_sources_) {
    if (n == "com1" || n == "com2")
      continue;
    if (n == "light")
      io.registerHardware(static_cast<HardwareFn>(nullptr), nullptr);
    else if (n == "input")
      io.registerInput(static_cast<LevelFn>(nullptr), nullptr);
    else if (n == "trigger")
      io.registerTrigger(static_cast<LevelFn>(nullptr), nullptr);
    else
      io.registerTune(static_cast<LevelFn>(nullptr), nullptr);
  }
}

}  // namespace kivctl
