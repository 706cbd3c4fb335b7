// SPDX-License-Identifier: MIT
#include "raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kivtest {

RawClient::RawClient(int port, int receive_buffer) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0)
    return;
  if (receive_buffer > 0)
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

RawClient::~RawClient() {
  if (fd_ >= 0)
    close(fd_);
}

bool RawClient::send(const std::string& data) {
  size_t sent = 0;
  while (fd_ >= 0 && sent < data.size()) {
    // MSG_NOSIGNAL: a server that closed answers with EPIPE, not a signal.
    ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    sent += static_cast<size_t>(n);
  }
  return fd_ >= 0;
}

bool RawClient::read_some(Clock::time_point deadline) {
  if (fd_ < 0 || closed_)
    return false;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  pollfd p{fd_, POLLIN, 0};
  if (left.count() < 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
    return false;
  char buffer[65536];
  ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
  if (n < 0 && errno == EINTR)
    return true;
  if (n <= 0) {
    closed_ = true;  // an end, or a reset: either way nothing more comes
    return false;
  }
  received_.append(buffer, static_cast<size_t>(n));
  return true;
}

const std::string& RawClient::read_until(const std::string& text, Clock::time_point deadline) {
  while (received_.find(text) == std::string::npos && read_some(deadline)) {
  }
  return received_;
}

bool RawClient::pending_by(size_t bytes, Clock::time_point deadline) {
  while (fd_ >= 0 && Clock::now() < deadline) {
    int queued = 0;
    if (ioctl(fd_, FIONREAD, &queued) == 0 && queued >= 0 && static_cast<size_t>(queued) >= bytes)
      return true;
    usleep(10000);
  }
  return false;
}

bool RawClient::closed_by(Clock::time_point deadline) {
  while (read_some(deadline)) {
  }
  return closed_;
}

std::string view_request(const std::string& request_line, int port, const std::string& headers) {
  return request_line + "\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + headers + "\r\n";
}

}  // namespace kivtest
