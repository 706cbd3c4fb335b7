// SPDX-License-Identifier: MIT
#include "remote.h"

#include <poll.h>
#include <sys/eventfd.h>
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
#include <mutex>
#include <thread>

#include "exit_stop.h"
#include "wiringPi_sim.h"

namespace kivsim {
namespace gpio {
namespace detail {
namespace {

// Guards the socket and its thread; taken after the board mutex when both are.
std::mutex g_mutex;
int g_socket = -1;
int g_wake = -1;  // eventfd that ends the command thread
bool g_tried = false;
std::thread g_thread;
// Read without the mutex so an unconnected stand-in reports at no cost.
std::atomic<bool> g_reporting{false};

// A stuck launcher may hold a send this long before reporting goes off.
constexpr int kSendTimeoutMs = 500;
constexpr size_t kMaxLine = 256;

bool parse(const char* line, const char* verb, int* pin, int* level) {
  size_t n = std::strlen(verb);
  if (std::strncmp(line, verb, n) != 0 || line[n] != ' ')
    return false;
  int end = 0;
  if (std::sscanf(line + n, " %d %d %n", pin, level, &end) != 2)
    return false;
  return line[n + static_cast<size_t>(end)] == '\0';
}

void run_command(const char* line) {
  int pin = 0;
  int level = 0;
  if (parse(line, "edge", &pin, &level)) {
    inject_edge(pin, level);
  } else if (parse(line, "level", &pin, &level)) {
    set_level(pin, level);
  }
}

void command_loop(int sock, int wake) {
  char line[kMaxLine];
  size_t used = 0;
  bool overlong = false;
  for (;;) {
    pollfd fds[2] = {{sock, POLLIN, 0}, {wake, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (fds[1].revents)
      return;
    char buf[512];
    ssize_t got = recv(sock, buf, sizeof buf, 0);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0) {
      // The launcher is gone: nothing more to report to.
      g_reporting.store(false);
      return;
    }
    for (ssize_t i = 0; i < got; ++i) {
      char c = buf[i];
      if (c == '\n') {
        line[used] = '\0';
        if (!overlong)
          run_command(line);
        used = 0;
        overlong = false;
      } else if (used + 1 < sizeof line) {
        line[used++] = c;
      } else {
        overlong = true;
      }
    }
  }
}

}  // namespace

void remote_connect() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_tried)
    return;
  g_tried = true;
  const char* path = std::getenv("KIV_SIM_GPIO_SOCKET");
  if (!path || !*path)
    return;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof addr.sun_path) {
    std::fprintf(stderr, "[wiringPi stand-in] KIV_SIM_GPIO_SOCKET too long: %s\n", path);
    return;
  }
  std::strcpy(addr.sun_path, path);
  int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sock < 0)
    return;
  if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::fprintf(stderr, "[wiringPi stand-in] cannot connect to %s: %s\n", path,
                 std::strerror(errno));
    close(sock);
    return;
  }
  timeval tv{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
  setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  int wake = eventfd(0, EFD_CLOEXEC);
  if (wake < 0) {
    close(sock);
    return;
  }
  try {
    g_thread = std::thread(command_loop, sock, wake);
  } catch (const std::system_error&) {
    close(wake);
    close(sock);
    return;
  }
  g_socket = sock;
  g_wake = wake;
  g_reporting.store(true);
  stop_at_exit();
}

void report(const char* format, ...) {
  if (!g_reporting.load(std::memory_order_relaxed))
    return;
  char line[kMaxLine];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n <= 0)
    return;
  size_t len = std::min(static_cast<size_t>(n), sizeof line - 1);
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_reporting.load() || g_socket < 0)
    return;
  size_t sent = 0;
  while (sent < len) {
    ssize_t w = send(g_socket, line + sent, len - sent, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR)
      continue;
    if (w <= 0) {
      g_reporting.store(false);
      return;
    }
    sent += static_cast<size_t>(w);
  }
}

void remote_stop() {
  std::unique_lock<std::mutex> lock(g_mutex);
  g_reporting.store(false);
  if (g_socket < 0)
    return;
  std::thread t = std::move(g_thread);
  int sock = g_socket;
  int wake = g_wake;
  g_socket = -1;
  g_wake = -1;
  lock.unlock();
  uint64_t one = 1;
  if (write(wake, &one, sizeof one) < 0)
    std::perror("[wiringPi stand-in] eventfd");
  // The command thread may itself be the caller (an edge handler stopping all).
  if (t.get_id() == std::this_thread::get_id())
    t.detach();
  else if (t.joinable())
    t.join();
  close(sock);
  close(wake);
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
