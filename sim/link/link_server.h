// SPDX-License-Identifier: MIT
// The launcher's end of a link: a listening Unix stream socket whose path the
// program finds in an environment variable, its accepted clients (a bounded
// number) and the complete lines each sends (of a bounded length). One for
// each link: the GPIO stand-in's (which also takes commands), the strip
// stand-in's, and the I2C layer's (a client per open descriptor, answered
// line by line).
#pragma once

#include <string>
#include <vector>

namespace kivsim {

// The environment variables that hand the sockets' paths to the stand-ins.
constexpr const char* kGpioSocketVariable = "KIV_SIM_GPIO_SOCKET";
constexpr const char* kStripSocketVariable = "KIV_SIM_STRIP_SOCKET";

class LinkServer {
 public:
  // A client's unfinished line when it hangs up: read as a line of its own
  // (a report cut short says something still), or dropped (a request cut
  // short has no one to answer).
  enum class Unfinished { kRead, kDropped };

  LinkServer(size_t max_clients, size_t max_line, Unfinished unfinished = Unfinished::kRead)
      : max_clients_(max_clients), max_line_(max_line), unfinished_(unfinished) {}
  ~LinkServer();
  LinkServer(const LinkServer&) = delete;
  LinkServer& operator=(const LinkServer&) = delete;

  // Listens at `path`. Returns false with `error` set on failure.
  bool listen(const std::string& path, std::string& error);
  const std::string& path() const { return path_; }
  int listen_fd() const { return listen_fd_; }
  std::vector<int> client_fds() const;
  size_t client_count() const { return clients_.size(); }
  // The client accepted last, or -1 for none.
  int newest_client() const { return clients_.empty() ? -1 : clients_.back().fd; }
  size_t max_clients() const { return max_clients_; }

  // Accepts a waiting connection. Returns false when it was refused (too
  // many clients) or failed; `note` then says why.
  bool accept_client(std::string& note);
  // Reads what client `fd` has sent, a bounded amount at a time so that one
  // chatty client cannot starve the other sources, and appends each complete
  // line to `lines`; a line longer than the bound is cut there. Returns false
  // once the client has hung up (it is then dropped).
  bool read_client(int fd, std::vector<std::string>& lines);
  // Sends `data` to client `fd`, waiting a little for room; false when it
  // could not.
  bool send_to(int fd, const std::string& data);
  // Sends `line` (a newline is added) to every client. Returns how many got it.
  size_t send_line(const std::string& line);
  void drop(int fd);

 private:
  struct Client {
    int fd;
    std::string pending;
  };
  size_t index_of(int fd) const;
  const size_t max_clients_;
  const size_t max_line_;
  const Unfinished unfinished_;
  std::string path_;
  int listen_fd_ = -1;
  std::vector<Client> clients_;
};

}  // namespace kivsim
