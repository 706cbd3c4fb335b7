// SPDX-License-Identifier: MIT
// The reports of the GPIO and strip stand-ins, read from their connections
// and posted as events with the time they happened.
#include <poll.h>

#include <cerrno>
#include <functional>

#include "board_run_internal.h"
#include "gpio_events.h"
#include "strip_events.h"
#include "wire_words.h"

namespace kivsim {
namespace {

// Once the program has ended, its links are read to their end for this long
// at most (a stand-in's own flush at exit takes 2 s at most).
constexpr int kDrainMs = 3000;

}  // namespace

Event BoardRun::report_event(EventSource source, const std::string& line) {
  Event e = log_.make(source, EventKind::kUnknown, "", EventTiming::kArrival);
  const int64_t mono =
      source == EventSource::kGpio ? read_gpio_report(line, e) : read_strip_report(line, e);
  if (mono != link::kNoTime) {
    e.timing = EventTiming::kSource;
    e.time_ns = log_.stream().since_origin(mono);
  }
  return e;
}

void BoardRun::on_gpio_client(int fd) {
  std::vector<std::string> lines;
  bool open = s_.gpio->read_client(fd, lines);
  for (const std::string& line : lines) {
    Event e = report_event(EventSource::kGpio, line);
    hand_over_.see(e);
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
  for (const std::string& line : lines)
    log_.post(report_event(EventSource::kStrip, line));
  if (!open)
    log_.note(EventSource::kStrip, EventKind::kNote, "the stand-in closed its connection");
}

// The stand-ins' last reports, their catch-up among them, are still on their
// way when the program has ended: every link is read until it closes, within
// a bound, for a descendant that holds one open.
void BoardRun::drain_links() {
  const double until = now_ms() + kDrainMs;
  std::vector<pollfd> fds;
  std::vector<std::function<void(int)>> readers;
  auto watch = [&](const std::vector<int>& clients, const std::function<void(int)>& read) {
    for (int fd : clients) {
      fds.push_back({fd, POLLIN, 0});
      readers.push_back(read);
    }
  };
  for (;;) {
    fds.clear();
    readers.clear();
    watch(s_.gpio->client_fds(), [this](int fd) { on_gpio_client(fd); });
    watch(strip_client_fds(), [this](int fd) { on_strip_client(fd); });
    watch(s_.lens->client_fds(), [this](int fd) { s_.lens->on_readable(fd, log_); });
    const double left = until - now_ms();
    if (fds.empty() || left <= 0)
      break;
    const int n = poll(fds.data(), fds.size(), static_cast<int>(left) + 1);
    if (n < 0 && errno != EINTR)
      break;
    for (size_t i = 0; n > 0 && i < fds.size(); ++i)
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))
        readers[i](fds[i].fd);
  }
}

void BoardRun::accept_waiting(LinkServer& server, EventSource source) {
  pollfd p{server.listen_fd(), POLLIN, 0};
  while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
    std::string note;
    const bool accepted =
        source == EventSource::kGpio ? accept_gpio(note) : server.accept_client(note);
    if (!accepted) {
      log_.note(source, EventKind::kNote, note);
      return;
    }
  }
}

}  // namespace kivsim
