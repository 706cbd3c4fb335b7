// SPDX-License-Identifier: MIT
#include "port_peer.h"

#include <fcntl.h>
#include <poll.h>
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

bool PortPeer::send(const std::string& bytes, EventLog& log) {
  bool ok = write_all(bytes);
  Event e = log.make(EventSource::kCom1, EventKind::kSent,
                     describe_raw("->", bytes) + (ok ? "" : "   (the line did not take it all)"));
  e.bytes = bytes;
  log.post(std::move(e));
  return ok;
}

}  // namespace kivsim
