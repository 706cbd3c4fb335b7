// SPDX-License-Identifier: MIT
#include "controller_peer.h"

#include <fcntl.h>

#include "port_peer.h"

namespace kivsim {
namespace {

constexpr const char kNotTaken[] = "   (the line did not take it all)";
constexpr const char kHungUp[] = "   (not sent: the light controller has hung up)";

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

bool ControllerPeer::sent(bool ok, const std::string& bytes, const std::string& text,
                          EventLog& log) {
  Event e = log.make(EventSource::kCom2, EventKind::kSent,
                     text + (hung_up_ ? kHungUp
                             : ok     ? ""
                                      : kNotTaken));
  e.bytes = bytes;
  log.post(std::move(e));
  return ok;
}

bool ControllerPeer::send(const std::string& bytes, EventLog& log) {
  return sent(!hung_up_ && model_.send(bytes), bytes, describe_raw("->", bytes), log);
}

bool ControllerPeer::send_notification(EventLog& log) {
  const std::string& bytes = LightController::notification();
  return sent(!hung_up_ && model_.send_notification(), bytes,
              "-> " + frame_hex(bytes) + "   hardware notification", log);
}

void ControllerPeer::hang_up(EventLog& log) {
  finish(log);
  hung_up_ = hung_up_ || hang_up_line(fd_);
  log.note(EventSource::kCom2, EventKind::kNote,
           hung_up_ ? "the light controller hangs up" : "the light controller cannot hang up");
}

void ControllerPeer::reconnect(int master, EventLog& log) {
  const bool placed = take_new_line(fd_, master);
  hung_up_ = hung_up_ && !placed;
  log.note(EventSource::kCom2, EventKind::kNote,
           placed ? "a new line at /dev/com2" : "no new line could be made");
}

}  // namespace kivsim
