// SPDX-License-Identifier: MIT
#include "remote_bus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "i2c_wire.h"
#include "layer.h"

namespace kivsim {
namespace i2c {
namespace detail {
namespace {

// The holder answers at once; this only bounds a holder that stopped.
constexpr int kReplyTimeoutMs = 10000;

// One request at a time, as the kernel's adapter lock carries one transfer at
// a time; held across the round trip so that two threads using one
// descriptor never take each other's reply.
std::mutex g_round_trip;

bool send_line(int sock, const std::string& line) {
  const std::string data = line + "\n";
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = send(sock, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Reads one reply line; 0, -EIO (gone) or -ETIMEDOUT.
int read_line(int sock, std::string& line) {
  line.clear();
  char buf[4096];
  for (;;) {
    pollfd p{sock, POLLIN, 0};
    int ready = poll(&p, 1, kReplyTimeoutMs);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready == 0)
      return -ETIMEDOUT;
    // Only one reply is ever outstanding, so nothing follows its newline.
    ssize_t n = recv(sock, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return -EIO;
    line.append(buf, static_cast<size_t>(n));
    if (line.back() == '\n') {
      line.pop_back();
      return 0;
    }
  }
}

int round_trip(int sock, const std::string& request, std::string& reply) {
  std::lock_guard<std::mutex> lock(g_round_trip);
  if (!send_line(sock, request))
    return -EIO;
  return read_line(sock, reply);
}

}  // namespace

int remote_open(const char* socket_path, bool cloexec) {
  sockaddr_un addr{};
  if (std::strlen(socket_path) >= sizeof addr.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, socket_path);
  int sock = socket(AF_UNIX, SOCK_STREAM | (cloexec ? SOCK_CLOEXEC : 0), 0);
  if (sock < 0)
    return -1;
  int error = 0;
  std::string reply;
  if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    error = errno;
  } else if (int r = round_trip(sock, kOpenRequest, reply); r < 0) {
    error = -r;
  } else if (reply.compare(0, 6, "error ") == 0) {
    error = std::atoi(reply.c_str() + 6);
    if (error <= 0)
      error = EIO;
  } else if (reply != "ok") {
    error = EIO;
  }
  if (error == 0)
    return sock;
  next_close(sock);
  errno = error;
  return -1;
}

int remote_transfer(int sock, unsigned requested, std::vector<Message>& messages) {
  std::string reply;
  int r = round_trip(sock, encode_request(requested, messages), reply);
  if (r < 0)
    return r;
  int result = 0;
  if (!decode_reply(reply, result, messages))
    return -EIO;
  return result;
}

}  // namespace detail
}  // namespace i2c
}  // namespace kivsim
