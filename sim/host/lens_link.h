// SPDX-License-Identifier: MIT
// The launcher's end of the I2C layer: it holds the bus with the lens
// controller, and the layer preloaded into the program carries each of its
// requests here (protocol in i2c_wire.h) over a Unix stream socket whose path
// the program finds in KIV_SIM_I2C_SOCKET, one connection per open
// descriptor of "/dev/i2c-5". Every open, transfer and close is shown, with
// the registers whenever they change; the lens commands change the bus.
#pragma once

#include <string>
#include <vector>

#include "commands.h"
#include "event_log.h"
#include "i2c_bus.h"
#include "link_server.h"

namespace kivsim {

class LensLink {
 public:
  static constexpr size_t kMaxClients = 64;
  static constexpr size_t kMaxLine = 200000;  // a request of 42 full messages fits

  LensLink() = default;
  LensLink(const LensLink&) = delete;
  LensLink& operator=(const LensLink&) = delete;

  // Listens at `path`. Returns false with `error` set on failure.
  bool listen(const std::string& path, std::string& error);
  const std::string& path() const { return server_.path(); }
  int listen_fd() const { return server_.listen_fd(); }
  std::vector<int> client_fds() const { return server_.client_fds(); }

  // Accepts a waiting connection (a descriptor being opened).
  void accept_client(EventLog& log);
  // Answers what client `fd` has asked; shows its close when it has gone.
  void on_readable(int fd, EventLog& log);
  // Carries out a lens command and shows it.
  void execute(const Command& cmd, EventLog& log);

  const i2c::Bus& bus() const { return bus_; }
  // "3 transfers (1 failed); lens 1000 (E8 03 00 00), VTemp 1 (01 00 00 00)"
  std::string summary() const;

 private:
  // The reply to one request line.
  std::string answer(const std::string& line, EventLog& log);
  void show_registers_if_changed(EventLog& log);
  // A request cut short by a close has no one to answer.
  LinkServer server_{kMaxClients, kMaxLine, LinkServer::Unfinished::kDropped};
  i2c::Bus bus_;
  std::string shown_registers_;
  long carried_ = 0;
  long failed_ = 0;
};

}  // namespace kivsim
