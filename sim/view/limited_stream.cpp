// SPDX-License-Identifier: MIT
#include "limited_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kivsim {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until `fd` is ready for `events` or `deadline` passes: what poll
// found, 0 when the deadline passed. A connection shut down or failed
// counts as ready, so that the call that follows says so.
short wait_ready(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left < 0)
      return 0;
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, static_cast<int>(std::min<long long>(left, 60 * 1000)));
    if (n > 0)
      return p.revents;
    if (n < 0 && errno != EINTR)
      return POLLERR;
  }
}

void address_of(const sockaddr_storage& addr, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (addr.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(addr);
    inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    port = ntohs(in.sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(addr);
    inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    port = ntohs(in6.sin6_port);
  }
  ip = text;
}

}  // namespace

LimitedStream::LimitedStream(int fd, const ViewLimits& limits) : fd_(fd), limits_(limits) {}

bool LimitedStream::wait_for_request() {
  if (spent_)
    return false;
  return begin_ < end_ || fill(Clock::now() + limits_.idle_time) > 0;
}

void LimitedStream::begin_request() {
  request_deadline_ = Clock::now() + limits_.request_time;
  taken_ = 0;
}

ssize_t LimitedStream::fill(Clock::time_point deadline) {
  begin_ = end_ = 0;
  for (;;) {
    if (wait_ready(fd_, POLLIN, deadline) == 0)
      return -1;
    ssize_t n = recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (n >= 0) {
      end_ = static_cast<size_t>(n);
      return n;
    }
    if (errno != EINTR && errno != EAGAIN)
      return -1;
  }
}

bool LimitedStream::is_readable() const {
  return !spent_ && (begin_ < end_ || wait_ready(fd_, POLLIN, request_deadline_) != 0);
}

ssize_t LimitedStream::read(char* ptr, size_t size) {
  const size_t budget = limits_.head_bytes + limits_.body_bytes;
  if (!spent_ && taken_ >= budget)
    spent_ = true;
  if (spent_)
    return -1;
  if (begin_ == end_) {
    ssize_t n = fill(request_deadline_);
    if (n <= 0) {
      spent_ = true;
      return n;
    }
  }
  size_t n = std::min({size, end_ - begin_, budget - taken_});
  std::memcpy(ptr, buffer_.data() + begin_, n);
  begin_ += n;
  taken_ += n;
  return static_cast<ssize_t>(n);
}

bool LimitedStream::is_writable() const {
  short ready = wait_ready(fd_, POLLOUT, Clock::now() + limits_.write_time);
  return (ready & POLLOUT) != 0 && (ready & (POLLERR | POLLHUP)) == 0;
}

ssize_t LimitedStream::write(const char* ptr, size_t size) {
  auto deadline = Clock::now() + limits_.write_time;
  size_t sent = 0;
  while (sent < size) {
    // MSG_NOSIGNAL: a client gone is a failed write, not SIGPIPE for the launcher.
    ssize_t n = send(fd_, ptr + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      if (wait_ready(fd_, POLLOUT, deadline) == 0)
        return -1;
    } else {
      return -1;
    }
  }
  return static_cast<ssize_t>(size);
}

void LimitedStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    address_of(addr, ip, port);
}

void LimitedStream::get_local_ip_and_port(std::string& ip, int& port) const {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    address_of(addr, ip, port);
}

}  // namespace kivsim
