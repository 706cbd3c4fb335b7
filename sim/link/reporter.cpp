// SPDX-License-Identifier: MIT
#include "reporter.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "wire_words.h"

namespace kivsim {
namespace link {
namespace {

constexpr size_t kStampRoom = 24;  // "@" and 19 digits and a space

int connect_to(const char* path, const char* variable, const char* who) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof addr.sun_path) {
    std::fprintf(stderr, "%s %s too long: %s\n", who, variable, path);
    return -1;
  }
  std::strcpy(addr.sun_path, path);
  int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sock < 0)
    return -1;
  if (::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::fprintf(stderr, "%s cannot connect to %s: %s\n", who, path, std::strerror(errno));
    close(sock);
    return -1;
  }
  return sock;
}

}  // namespace

bool Reporter::connect() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (tried_)
    return connected_;
  tried_ = true;
  const char* path = std::getenv(setup_.variable);
  if (!path || !*path)
    return false;
  const int sock = connect_to(path, setup_.variable, setup_.who);
  if (sock < 0)
    return false;
  const int wake = eventfd(0, EFD_CLOEXEC);
  const int kick = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0 || kick < 0) {
    close(wake);
    close(kick);
    close(sock);
    return false;
  }
  const size_t slots = static_cast<size_t>(setup_.catch_up_lines);
  // Room for a full backlog, the report that did not fit, and a catch-up.
  backlog_.resize(kBacklogLimit + (slots + 2) * (setup_.max_line + kStampRoom));
  kept_.resize(slots * setup_.max_line);
  kept_size_.assign(slots, 0);
  try {
    thread_ = std::thread(&Reporter::run, this, sock, wake, kick);
  } catch (const std::system_error&) {
    close(kick);
    close(wake);
    close(sock);
    return false;
  }
  socket_ = sock;
  wake_ = wake;
  kick_ = kick;
  reporting_.store(true);
  connected_ = true;
  return true;
}

void Reporter::report(std::string_view line, const Keep& k) {
  if (!reporting() || line.empty())
    return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!reporting_.load() || socket_ < 0)
    return;
  keep(k);
  // Stamped under the lock: a catch-up made after this report is never older
  // than it, and one made before never younger.
  const int64_t now = monotonic_ns();
  if (lost_ > 0 || pending() + kStampRoom + line.size() > kBacklogLimit ||
      line.size() > setup_.max_line)
    ++lost_;
  else
    append(now, line);
  // While the thread waits for room, it sends: no call here would succeed.
  if (!thread_sends_)
    send_pending();
}

void Reporter::keep(const Keep& k) {
  const size_t slots = kept_size_.size();
  if (k.line >= 0 && static_cast<size_t>(k.line) < slots && k.text.size() <= setup_.max_line) {
    std::memcpy(&kept_[static_cast<size_t>(k.line) * setup_.max_line], k.text.data(),
                k.text.size());
    kept_size_[static_cast<size_t>(k.line)] = k.text.size();
  }
  if (k.remove >= 0 && static_cast<size_t>(k.remove) < slots)
    kept_size_[static_cast<size_t>(k.remove)] = 0;
}

void Reporter::append(int64_t stamp, std::string_view line) {
  if (end_ + kStampRoom + line.size() > backlog_.size()) {
    std::memmove(backlog_.data(), backlog_.data() + begin_, pending());
    end_ -= begin_;
    begin_ = 0;
  }
  end_ += put_stamp(stamp, backlog_.data() + end_, kStampRoom);
  std::memcpy(backlog_.data() + end_, line.data(), line.size());
  end_ += line.size();
}

// Sends what the socket takes now, without waiting. A failed send means the
// launcher hung up: reporting ends.
void Reporter::send_backlog() {
  while (pending() > 0 && !hung_up_) {
    const ssize_t w =
        send(socket_, backlog_.data() + begin_, pending(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w > 0) {
      begin_ += static_cast<size_t>(w);
    } else if (w < 0 && errno == EINTR) {
      continue;
    } else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      break;
    } else {
      hung_up_ = true;
      reporting_.store(false);
    }
  }
  if (pending() == 0 || hung_up_)
    begin_ = end_ = 0;
}

// Once the backlog is out after reports were lost: their count and the
// catch-up lines, all stamped now.
void Reporter::catch_up() {
  if (lost_ == 0 || pending() > 0 || hung_up_)
    return;
  const int64_t now = monotonic_ns();
  char lost[48];
  LineWriter w(lost, sizeof lost);
  append(now, std::string_view(lost, w.text("lost ").number(lost_).finish()));
  for (size_t i = 0; i < kept_size_.size(); ++i)
    if (kept_size_[i] > 0)
      append(now, std::string_view(&kept_[i * setup_.max_line], kept_size_[i]));
  lost_ = 0;
  send_backlog();
}

// Sends the backlog and any catch-up; wakes the thread to wait for room when
// something is left. True while something is left.
bool Reporter::send_pending() {
  send_backlog();
  catch_up();
  const bool left = !hung_up_ && (pending() > 0 || lost_ > 0);
  if (left && !thread_sends_) {
    thread_sends_ = true;
    (void)eventfd_write(kick_, 1);
  }
  return left;
}

void Reporter::run(int sock, int wake, int kick) {
  std::vector<char> line;
  line.reserve(setup_.max_line);
  bool overlong = false;
  bool waiting_for_room = false;
  for (;;) {
    const short sock_events = static_cast<short>(POLLIN | (waiting_for_room ? POLLOUT : 0));
    pollfd fds[3] = {{sock, sock_events, 0}, {wake, POLLIN, 0}, {kick, POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (fds[1].revents)
      return;
    if (fds[2].revents || (fds[0].revents & POLLOUT)) {
      eventfd_t kicks;
      (void)eventfd_read(kick, &kicks);
      std::lock_guard<std::mutex> lock(mutex_);
      // While the thread waits for room, reports need not wake it.
      thread_sends_ = true;
      waiting_for_room = socket_ >= 0 && send_pending();
      thread_sends_ = waiting_for_room;
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
      continue;
    char buf[512];
    const ssize_t got = recv(sock, buf, sizeof buf, MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
      continue;
    if (got <= 0) {
      // The launcher hung up: nothing more to report to.
      {
        std::lock_guard<std::mutex> lock(mutex_);
        hung_up_ = true;
        reporting_.store(false);
      }
      if (setup_.on_hangup)
        setup_.on_hangup();
      return;
    }
    take_commands(buf, static_cast<size_t>(got), line, overlong);
  }
}

void Reporter::take_commands(const char* data, size_t n, std::vector<char>& line, bool& overlong) {
  for (size_t i = 0; i < n; ++i) {
    if (data[i] != '\n') {
      if (line.size() < setup_.max_line)
        line.push_back(data[i]);
      else
        overlong = true;
      continue;
    }
    if (!overlong && setup_.on_command)
      setup_.on_command(std::string_view(line.data(), line.size()));
    line.clear();
    overlong = false;
  }
}

void Reporter::stop(int flush_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  reporting_.store(false);
  if (socket_ < 0 || stopping_)
    return;
  stopping_ = true;
  // What the launcher has not taken yet still reaches it, within a bound, so
  // that its record of the stand-in ends right.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(flush_ms);
  while (send_pending() && std::chrono::steady_clock::now() < deadline) {
    const int sock = socket_;
    lock.unlock();
    pollfd p{sock, POLLOUT, 0};
    (void)poll(&p, 1, 10);
    lock.lock();
  }
  std::thread t = std::move(thread_);
  const int sock = socket_, wake = wake_, kick = kick_;
  begin_ = end_ = 0;
  lost_ = 0;
  socket_ = wake_ = kick_ = -1;
  lock.unlock();
  (void)eventfd_write(wake, 1);
  if (t.get_id() == std::this_thread::get_id())
    t.detach();
  else if (t.joinable())
    t.join();
  close(sock);
  close(wake);
  close(kick);
}

}  // namespace link
}  // namespace kivsim
