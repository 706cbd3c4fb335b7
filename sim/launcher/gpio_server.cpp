// SPDX-License-Identifier: MIT
#include "gpio_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "unix_listener.h"

namespace kivsim {

GpioServer::~GpioServer() {
  while (!clients_.empty())
    drop(clients_.size() - 1);
  if (listen_fd_ >= 0) {
    close(listen_fd_);
    unlink(path_.c_str());
  }
}

bool GpioServer::listen(const std::string& path, std::string& error) {
  int fd = listen_unix(path, 8, error);
  if (fd < 0)
    return false;
  listen_fd_ = fd;
  path_ = path;
  return true;
}

std::vector<int> GpioServer::client_fds() const {
  std::vector<int> fds;
  for (const Client& c : clients_)
    fds.push_back(c.fd);
  return fds;
}

bool GpioServer::accept_client(std::string& note) {
  int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) {
    note = std::string("accept: ") + std::strerror(errno);
    return false;
  }
  if (clients_.size() >= kMaxClients) {
    close(fd);
    note = "connection refused: already " + std::to_string(kMaxClients) + " stand-ins connected";
    return false;
  }
  clients_.push_back({fd, std::string()});
  return true;
}

bool GpioServer::read_client(int fd, std::vector<std::string>& lines) {
  size_t index = 0;
  while (index < clients_.size() && clients_[index].fd != fd)
    ++index;
  if (index == clients_.size())
    return false;
  Client& c = clients_[index];
  char buf[4096];
  // Bounded, so that one chatty client cannot starve the other sources.
  for (int round = 0; round < 16; ++round) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
      return true;
    if (n <= 0) {
      if (!c.pending.empty())
        lines.push_back(c.pending);
      drop(index);
      return false;
    }
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == '\n') {
        lines.push_back(c.pending);
        c.pending.clear();
      } else if (c.pending.size() < kMaxLine) {
        c.pending += buf[i];
      } else {
        // A line with no end in sight: show what came and start afresh.
        lines.push_back(c.pending);
        c.pending.assign(1, buf[i]);
      }
    }
  }
  return true;
}

size_t GpioServer::send_line(const std::string& line) {
  std::string data = line + "\n";
  size_t reached = 0;
  for (const Client& c : clients_) {
    size_t off = 0;
    while (off < data.size()) {
      ssize_t n = send(c.fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
      if (n > 0) {
        off += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // The stand-in reads its commands promptly; wait a little for room.
        pollfd p{c.fd, POLLOUT, 0};
        if (poll(&p, 1, 1000) > 0)
          continue;
      }
      break;
    }
    if (off == data.size())
      ++reached;
  }
  return reached;
}

void GpioServer::drop(size_t index) {
  close(clients_[index].fd);
  clients_.erase(clients_.begin() + static_cast<long>(index));
}

}  // namespace kivsim
