// SPDX-License-Identifier: MIT
#include "remote.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace kivsim {
namespace strip {
namespace detail {
namespace {

// Guards the socket; never held while the state mutex is taken.
std::mutex g_mutex;
int g_socket = -1;
bool g_tried = false;
// Read without the mutex so an unconnected stand-in reports at no cost.
std::atomic<bool> g_reporting{false};

// A stuck launcher may hold a send this long before reporting goes off.
constexpr int kSendTimeoutMs = 500;
constexpr size_t kMaxLine = 512;

// The socket lives as long as the process: the kernel closes it at exit.
int connect_to(const char* path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof addr.sun_path) {
    std::fprintf(stderr, "[ws2811 stand-in] KIV_SIM_STRIP_SOCKET too long: %s\n", path);
    return -1;
  }
  std::strcpy(addr.sun_path, path);
  int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sock < 0)
    return -1;
  if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::fprintf(stderr, "[ws2811 stand-in] cannot connect to %s: %s\n", path,
                 std::strerror(errno));
    close(sock);
    return -1;
  }
  timeval tv{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
  setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  return sock;
}

}  // namespace

void remote_connect() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_tried)
    return;
  g_tried = true;
  const char* path = std::getenv("KIV_SIM_STRIP_SOCKET");
  if (!path || !*path)
    return;
  g_socket = connect_to(path);
  g_reporting.store(g_socket >= 0);
}

void report(const char* format, ...) {
  if (!g_reporting.load(std::memory_order_relaxed))
    return;
  char line[kMaxLine];
  // The time the call happened, on the clock the launcher orders events by.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  int head = std::snprintf(line, sizeof line, "@%lld%09ld ", static_cast<long long>(now.tv_sec),
                           now.tv_nsec);
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line + head, sizeof line - 1 - static_cast<size_t>(head), format, args);
  va_end(args);
  if (n <= 0)
    return;
  size_t len = std::min(static_cast<size_t>(n + head), sizeof line - 2);
  line[len++] = '\n';
  std::lock_guard<std::mutex> lock(g_mutex);
  size_t sent = 0;
  while (g_reporting.load() && sent < len) {
    ssize_t w = send(g_socket, line + sent, len - sent, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR)
      continue;
    if (w <= 0)
      g_reporting.store(false);
    else
      sent += static_cast<size_t>(w);
  }
}

}  // namespace detail
}  // namespace strip
}  // namespace kivsim
