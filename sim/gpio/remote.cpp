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
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

#include "board.h"
#include "exit_stop.h"
#include "wiringPi_sim.h"

namespace kivsim {
namespace gpio {
namespace detail {
namespace {

// Guards the socket, its thread and the reports not yet sent; taken after the
// board mutex when both are.
std::mutex g_mutex;
int g_socket = -1;
int g_wake = -1;  // eventfd that ends the command thread
int g_kick = -1;  // eventfd that makes the command thread wait for room
bool g_tried = false;
std::thread g_thread;
// Read without the mutex so an unconnected stand-in reports at no cost.
std::atomic<bool> g_reporting{false};

// Reports are sent without waiting: what the socket does not take waits here,
// and the command thread sends it once the launcher reads again. Past this
// much, reports are counted as lost instead; once the backlog is sent, a
// "lost <count>" report and the level of every line written follow, so the
// launcher's view of the lines is right again.
constexpr size_t kBacklogLimit = 64 * 1024;
std::string g_backlog;
unsigned long g_lost = 0;
int g_written[kPinCount];  // last level written to each line, -1 none
// At exit, the backlog may take this long to reach the launcher.
constexpr int kFinalFlushMs = 2000;
constexpr size_t kMaxLine = 256;

// Sends what the socket takes of the backlog now, without waiting. A failed
// send means the launcher is gone: reporting ends. g_mutex held.
void send_backlog() {
  size_t sent = 0;
  while (sent < g_backlog.size()) {
    const ssize_t w = send(g_socket, g_backlog.data() + sent, g_backlog.size() - sent,
                           MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w > 0) {
      sent += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR)
      continue;
    if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
      break;
    g_reporting.store(false);
    g_backlog.clear();
    return;
  }
  g_backlog.erase(0, sent);
}

// Once the backlog is out after reports were lost: the count, and the level
// of every line written so far. g_mutex held.
void catch_up() {
  if (g_lost == 0 || !g_backlog.empty())
    return;
  g_backlog = "lost " + std::to_string(g_lost) + "\n";
  for (int pin = 0; pin < kPinCount; ++pin)
    if (g_written[pin] >= 0)
      g_backlog += "written " + std::to_string(pin) + " " + std::to_string(g_written[pin]) + "\n";
  g_lost = 0;
  send_backlog();
}

// Sends the backlog and any catch-up, and has the command thread wait for
// room when something is left. g_mutex held.
void send_pending() {
  if (g_socket < 0)
    return;
  send_backlog();
  catch_up();
  if (!g_backlog.empty() || g_lost > 0)
    (void)eventfd_write(g_kick, 1);
}

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
  bool waiting_for_room = false;
  for (;;) {
    const short sock_events = static_cast<short>(POLLIN | (waiting_for_room ? POLLOUT : 0));
    pollfd fds[3] = {{sock, sock_events, 0}, {wake, POLLIN, 0}, {g_kick, POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (fds[1].revents)
      return;
    if (fds[2].revents || (fds[0].revents & POLLOUT)) {
      eventfd_t kicks;
      (void)eventfd_read(g_kick, &kicks);
      std::lock_guard<std::mutex> lock(g_mutex);
      send_pending();
      waiting_for_room = !g_backlog.empty() || g_lost > 0;
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
      continue;
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
  int wake = eventfd(0, EFD_CLOEXEC);
  int kick = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0 || kick < 0) {
    close(wake);
    close(kick);
    close(sock);
    return;
  }
  for (int& level : g_written)
    level = -1;
  g_kick = kick;
  try {
    g_thread = std::thread(command_loop, sock, wake);
  } catch (const std::system_error&) {
    close(kick);
    close(wake);
    close(sock);
    g_kick = -1;
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
  // The time the call happened, on the clock the launcher orders events by.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  int head = std::snprintf(line, sizeof line, "@%lld%09ld ", static_cast<long long>(now.tv_sec),
                           now.tv_nsec);
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line + head, sizeof line - static_cast<size_t>(head), format, args);
  va_end(args);
  if (n <= 0)
    return;
  size_t len = std::min(static_cast<size_t>(n + head), sizeof line - 1);
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_reporting.load() || g_socket < 0)
    return;
  send_backlog();
  catch_up();
  if (g_lost > 0 || g_backlog.size() + len > kBacklogLimit)
    ++g_lost;
  else
    g_backlog.append(line, len);
  send_pending();
}

void report_write(int pin, int level) {
  if (!g_reporting.load(std::memory_order_relaxed))
    return;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (pin >= 0 && pin < kPinCount)
      g_written[pin] = level;
  }
  report("write %d %d\n", pin, level);
}

void remote_stop() {
  std::unique_lock<std::mutex> lock(g_mutex);
  g_reporting.store(false);
  if (g_socket < 0)
    return;
  std::thread t = std::move(g_thread);
  int sock = g_socket;
  int wake = g_wake;
  int kick = g_kick;
  // What the launcher has not taken yet still reaches it, within a bound, so
  // that its view of the lines ends right.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFinalFlushMs);
  send_pending();
  while ((!g_backlog.empty() || g_lost > 0) && g_socket >= 0 &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd p{g_socket, POLLOUT, 0};
    (void)poll(&p, 1, 10);
    send_pending();
  }
  g_backlog.clear();
  g_lost = 0;
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
  close(kick);
  lock.lock();
  if (g_kick == kick)
    g_kick = -1;
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
