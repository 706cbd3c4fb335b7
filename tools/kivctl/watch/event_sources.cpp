// SPDX-License-Identifier: MIT
#include "watch/event_sources.h"

#include <strings.h>

#include <algorithm>

#include "kiv_serial.h"
#include "line_names.h"
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

bool is_port(const std::string& name) {
  return name == "com1" || name == "com2";
}

// The source's one name, in any case given; "" for none.
std::string source_named(const std::string& given) {
  const kiv::pin::NamedLine* line = line_named(given);
  if (line != nullptr)
    return line->output ? "" : line->name;
  for (const char* other : {"com1", "com2", "light"})
    if (strcasecmp(given.c_str(), other) == 0)
      return other;
  return "";
}

}  // namespace

bool EventSources::start(const std::vector<std::string>& given, std::string& error) {
  std::vector<std::string> names;
  for (const std::string& n : given) {
    names.push_back(source_named(n));
    if (names.back().empty()) {
      error = "'" + n + "' is nothing to watch (" + line_names(LineSet::kInputs) +
              ", com1, com2, light)";
      return false;
    }
  }
  // The light controller's port first, into the slot the library's light
  // calls use, before a port watched alone takes the first free one.
  if (std::find(names.begin(), names.end(), "light") != names.end())
    session_.device.light_port();
  for (const std::string& n : names) {
    if (std::find(started_.begin(), started_.end(), n) != started_.end())
      continue;
    if (is_port(n)) {
      const std::string path = "/dev/" + n;
      int slot = kiv::serial::slot_holding(path.c_str());
      if (slot >= 0 && line_ != nullptr) {
        // Opened again with the settings asked for, until the end.
        held_.push_back(std::make_unique<HeldPortSettings>(path, slot, *line_));
        if ((slot = held_.back()->slot()) < 0) {
          error = "cannot open " + path + " at " + line_->text();
          return false;
        }
      }
      if (slot >= 0)
        tap_open_port(n, slot);
      else if (!tap_port_alone(n, error))
        return false;
    } else if (n == "light") {
      taps_.push_back(std::make_unique<Tap>(Tap{&queue_, n}));
      session_.device.instance().registerHardware(on_notification, taps_.back().get());
    } else {
      const kiv::pin::NamedLine* line = line_named(n);
      session_.device.input(line->pin, n);
      taps_.push_back(std::make_unique<Tap>(Tap{&queue_, n}));
      tap_input(session_.device.instance(), n);
    }
    started_.push_back(n);
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

// A port this process holds open already (a shell's set-up, the light
// controller's port), in `slot`: its chunks are taken from there.
void EventSources::tap_open_port(const std::string& name, int slot) {
  taps_.push_back(std::make_unique<Tap>(Tap{&queue_, name, slot}));
  SetReadSerialPortDataCallback(name == "com2" ? on_com2_chunk : on_chunk, taps_.back().get(),
                                slot);
}

bool EventSources::tap_port_alone(const std::string& name, std::string& error) {
  const std::string path = "/dev/" + name;
  const int index = session_.device.open_port(path, line_ ? *line_ : LineSettings{});
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
  for (const auto& tap : taps_) {
    // The library's own notification handler again, where the set-up put it.
    if (tap->source == "com2" && tap->slot == 1)
      svSetSerialReadCallback(kiv::callbackHardware, 1);
    else if (tap->slot >= 0)
      SetReadSerialPortDataCallback(nullptr, nullptr, tap->slot);
  }
  for (const std::string& n : started_) {
    if (is_port(n))
      continue;
    kiv::KivIo& io = session_.device.instance();
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
