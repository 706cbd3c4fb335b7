// SPDX-License-Identifier: MIT
#include "controller_peer.h"

#include <fcntl.h>

#include "port_peer.h"

namespace kivsim {
namespace {

constexpr const char kNotTaken[] = "   (the line did not take it all)";

}  // namespace

ControllerPeer::ControllerPeer(int fd) : fd_(fd), model_(fd) {
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

void ControllerPeer::on_readable(EventLog& log) {
  model_.read_line();
  show_events(log);
}

void ControllerPeer::finish(EventLog& log) {
  model_.finish();
  show_events(log);
}

void ControllerPeer::show_events(EventLog& log) {
  // Frames are read as they arrive: their time is the time they were read.
  for (const LightEvent& le : model_.take_events()) {
    Event e = log.make(EventSource::kCom2, EventKind::kFrame,
                       "<- " + frame_hex(le.frame.bytes) + "   " + le.frame.meaning,
                       EventTiming::kArrival);
    e.bytes = le.frame.bytes;
    log.post(std::move(e));
    for (const std::string& change : le.changes) {
      Event s = log.make(EventSource::kLight, EventKind::kState, change, EventTiming::kArrival);
      s.light = le.after;
      log.post(std::move(s));
    }
  }
}

bool ControllerPeer::send(const std::string& bytes, EventLog& log) {
  bool ok = model_.send(bytes);
  Event e = log.make(EventSource::kCom2, EventKind::kSent,
                     describe_raw("->", bytes) + (ok ? "" : kNotTaken));
  e.bytes = bytes;
  log.post(std::move(e));
  return ok;
}

bool ControllerPeer::send_notification(EventLog& log) {
  bool ok = model_.send_notification();
  Event e = log.make(EventSource::kCom2, EventKind::kSent,
                     "-> " + frame_hex(LightController::notification()) +
                         "   hardware notification" + (ok ? "" : kNotTaken));
  e.bytes = LightController::notification();
  log.post(std::move(e));
  return ok;
}

}  // namespace kivsim
