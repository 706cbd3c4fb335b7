// SPDX-License-Identifier: MIT
#include "link_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "unix_listener.h"

namespace kivsim {

LinkServer::~LinkServer() {
  for (const Client& c : clients_)
    close(c.fd);
  if (listen_fd_ >= 0) {
    close(listen_fd_);
    unlink(path_.c_str());
  }
}

bool LinkServer::listen(const std::string& path, std::string& error) {
  int fd = listen_unix(path, static_cast<int>(max_clients_), error);
  if (fd < 0)
    return false;
  listen_fd_ = fd;
  path_ = path;
  return true;
}

std::vector<int> LinkServer::client_fds() const {
  std::vector<int> fds;
  for (const Client& c : clients_)
    fds.push_back(c.fd);
  return fds;
}

size_t LinkServer::index_of(int fd) const {
  size_t index = 0;
  while (index < clients_.size() && clients_[index].fd != fd)
    ++index;
  return index;
}

bool LinkServer::accept_client(std::string& note) {
  int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) {
    note = std::string("accept: ") + std::strerror(errno);
    return false;
  }
  if (clients_.size() >= max_clients_) {
    close(fd);
    note = "connection refused: already " + std::to_string(max_clients_) + " stand-ins connected";
    return false;
  }
  clients_.push_back({fd, std::string()});
  return true;
}

bool LinkServer::read_client(int fd, std::vector<std::string>& lines) {
  const size_t index = index_of(fd);
  if (index == clients_.size())
    return false;
  Client& c = clients_[index];
  char buf[4096];
  for (int round = 0; round < 16; ++round) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
      return true;
    if (n <= 0) {
      if (!c.pending.empty() && unfinished_ == Unfinished::kRead)
        lines.push_back(c.pending);
      drop(fd);
      return false;
    }
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == '\n') {
        lines.push_back(c.pending);
        c.pending.clear();
      } else if (c.pending.size() < max_line_) {
        c.pending += buf[i];  // past the bound, the rest up to the newline is dropped
      }
    }
  }
  return true;
}

bool LinkServer::send_to(int fd, const std::string& data) {
  size_t off = 0;
  while (off < data.size()) {
    ssize_t n = send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
    if (n > 0) {
      off += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The other end reads promptly; wait a little for room.
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 1000) > 0)
        continue;
    }
    return false;
  }
  return true;
}

size_t LinkServer::send_line(const std::string& line) {
  const std::string data = line + "\n";
  size_t reached = 0;
  for (const Client& c : clients_)
    if (send_to(c.fd, data))
      ++reached;
  return reached;
}

void LinkServer::drop(int fd) {
  const size_t index = index_of(fd);
  if (index == clients_.size())
    return;
  close(fd);
  clients_.erase(clients_.begin() + static_cast<long>(index));
}

}  // namespace kivsim
