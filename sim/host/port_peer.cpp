// SPDX-License-Identifier: MIT
#include "port_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "byte_text.h"

namespace kivsim {

std::string describe_raw(const char* arrow, const std::string& bytes) {
  std::string text = std::string(arrow) + " " + quoted_text(bytes) + " (" +
                     std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte)" : " bytes)");
  if (!is_text(bytes))
    text += "   hex " + hex_bytes(bytes);
  return text;
}

PortPeer::PortPeer(const char* tag, int fd) : tag_(tag), fd_(fd) {
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

void PortPeer::on_readable(EventLog& log) {
  char buf[4096];
  // Bounded, so that a flood on one line cannot starve the other sources.
  for (int round = 0; round < 16; ++round) {
    ssize_t n = read(fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    std::string bytes(buf, static_cast<size_t>(n));
    Event e = log.make(EventSource::kCom1, EventKind::kReceived, describe_raw("<-", bytes),
                       EventTiming::kArrival);
    e.bytes = std::move(bytes);
    log.post(std::move(e));
  }
}

bool PortPeer::write_all(const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = write(fd_, bytes.data() + off, bytes.size() - off);
    if (n > 0) {
      off += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, 1000) > 0)
        continue;
    }
    return false;
  }
  return true;
}

bool hang_up_line(int fd) {
  const int holder = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (holder < 0)
    return false;
  const bool placed = dup3(holder, fd, O_CLOEXEC) == fd;
  close(holder);
  return placed;
}

bool take_new_line(int fd, int master) {
  if (master < 0)
    return false;
  const bool placed = dup3(master, fd, O_CLOEXEC) == fd;
  close(master);
  if (placed)
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return placed;
}

void PortPeer::hang_up(EventLog& log) {
  hung_up_ = hung_up_ || hang_up_line(fd_);
  log.note(EventSource::kCom1, EventKind::kNote,
           hung_up_ ? "the peer hangs up" : "the peer cannot hang up");
}

void PortPeer::reconnect(int master, EventLog& log) {
  const bool placed = take_new_line(fd_, master);
  hung_up_ = hung_up_ && !placed;
  log.note(EventSource::kCom1, EventKind::kNote,
           placed ? "a new line at /dev/com1" : "no new line could be made");
}

bool PortPeer::send(const std::string& bytes, EventLog& log) {
  bool ok = !hung_up_ && write_all(bytes);
  Event e = log.make(EventSource::kCom1, EventKind::kSent,
                     describe_raw("->", bytes) + (hung_up_ ? "   (not sent: the peer has hung up)"
                                                  : ok     ? ""
                                                           : "   (the line did not take it all)"));
  e.bytes = bytes;
  log.post(std::move(e));
  return ok;
}

}  // namespace kivsim
