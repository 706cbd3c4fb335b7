// SPDX-License-Identifier: MIT
#include "controller_peer.h"

#include <fcntl.h>

#include "port_peer.h"

namespace kivsim {
namespace {

constexpr const char kTag[] = "com2";
constexpr const char kStateTag[] = "state";
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
  for (const LightEvent& e : model_.take_events()) {
    log.line(kTag, "<- " + frame_hex(e.frame.bytes) + "   " + e.frame.meaning);
    for (const std::string& change : e.changes)
      log.line(kStateTag, change);
  }
}

bool ControllerPeer::send(const std::string& bytes, EventLog& log) {
  bool ok = model_.send(bytes);
  log.line(kTag, describe_raw("->", bytes) + (ok ? "" : kNotTaken));
  return ok;
}

bool ControllerPeer::send_notification(EventLog& log) {
  bool ok = model_.send_notification();
  log.line(kTag, "-> " + frame_hex(LightController::notification()) + "   hardware notification" +
                     (ok ? "" : kNotTaken));
  return ok;
}

}  // namespace kivsim
