// SPDX-License-Identifier: MIT
// The reports of the GPIO and strip stand-ins, read from their connections
// and posted as events with the time they happened.
#include "board_run_internal.h"
#include "gpio_events.h"
#include "strip_events.h"

namespace kivsim {

Event BoardRun::report_event(EventSource source, std::string& line) {
  int64_t mono = 0;
  bool stamped = take_stamp(line, mono);
  Event e = log_.make(source, EventKind::kUnknown, "",
                      stamped ? EventTiming::kSource : EventTiming::kArrival);
  if (stamped)
    e.time_ns = log_.stream().since_origin(mono);
  return e;
}

void BoardRun::on_gpio_client(int fd) {
  std::vector<std::string> lines;
  bool open = s_.gpio->read_client(fd, lines);
  for (std::string& line : lines) {
    Event e = report_event(EventSource::kGpio, line);
    read_gpio_report(line, e);
    log_.post(std::move(e));
  }
  if (!open)
    log_.note(EventSource::kGpio, EventKind::kNote, "the stand-in closed its connection");
}

std::vector<int> BoardRun::strip_client_fds() const {
  return s_.strip ? s_.strip->client_fds() : std::vector<int>();
}

void BoardRun::on_strip_client(int fd) {
  std::vector<std::string> lines;
  bool open = s_.strip->read_client(fd, lines);
  for (std::string& line : lines) {
    Event e = report_event(EventSource::kStrip, line);
    read_strip_report(line, e);
    log_.post(std::move(e));
  }
  if (!open)
    log_.note(EventSource::kStrip, EventKind::kNote, "the stand-in closed its connection");
}

}  // namespace kivsim
