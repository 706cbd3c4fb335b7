// SPDX-License-Identifier: MIT
// The launcher's end of the GPIO stand-in's link: a Unix stream socket whose
// path the program finds in KIV_SIM_GPIO_SOCKET. The stand-in connects when
// the program sets up WiringPi and sends one report a line; the launcher sends
// "edge <pin> <level>" and "level <pin> <level>" lines back.
#pragma once

#include <string>
#include <vector>

namespace kivsim {

// The environment variable that hands the socket path to the stand-in.
constexpr const char* kGpioSocketVariable = "KIV_SIM_GPIO_SOCKET";

class GpioServer {
 public:
  static constexpr size_t kMaxClients = 8;
  static constexpr size_t kMaxLine = 4096;

  GpioServer() = default;
  ~GpioServer();
  GpioServer(const GpioServer&) = delete;
  GpioServer& operator=(const GpioServer&) = delete;

  // Listens at `path`. Returns false with `error` set on failure.
  bool listen(const std::string& path, std::string& error);
  const std::string& path() const { return path_; }
  int listen_fd() const { return listen_fd_; }
  std::vector<int> client_fds() const;
  size_t client_count() const { return clients_.size(); }

  // Accepts a waiting connection. Returns false when it was refused (too
  // many clients) or failed; `note` then says why.
  bool accept_client(std::string& note);
  // Reads what client `fd` has sent and appends each complete line to
  // `lines`. A line longer than kMaxLine is cut there. Returns false when the
  // client has closed (it is then dropped, its unfinished line appended).
  bool read_client(int fd, std::vector<std::string>& lines);
  // Sends `line` (a newline is added) to every client. Returns how many got it.
  size_t send_line(const std::string& line);

 private:
  struct Client {
    int fd;
    std::string pending;
  };
  void drop(size_t index);
  std::string path_;
  int listen_fd_ = -1;
  std::vector<Client> clients_;
};

}  // namespace kivsim
