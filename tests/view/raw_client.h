// SPDX-License-Identifier: MIT
// A client of the view on a plain socket: it sends what it likes, when it
// likes, reads only when told to, and never waits past a deadline. Browsers
// behave; this stands for whatever else can reach 127.0.0.1.
#pragma once

#include <chrono>
#include <string>

namespace kivtest {

class RawClient {
 public:
  using Clock = std::chrono::steady_clock;

  // Connects to 127.0.0.1:`port`; a `receive_buffer` above 0 keeps the
  // socket's receive window that small (a reader that falls behind soon).
  explicit RawClient(int port, int receive_buffer = 0);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  // Sends all of `data`; false when the server has closed the connection.
  bool send(const std::string& data);
  // Reads until what arrived holds `text`, the server closes or `deadline`
  // passes; returns all that arrived on this connection.
  const std::string& read_until(const std::string& text, Clock::time_point deadline);
  // Waits, reading nothing, until at least `bytes` have arrived to be read;
  // false when `deadline` passes first.
  bool pending_by(size_t bytes, Clock::time_point deadline);
  // Reads until the server closes (an end or a reset); false when
  // `deadline` passes first.
  bool closed_by(Clock::time_point deadline);
  const std::string& received() const { return received_; }

 private:
  // One read, waiting until `deadline`; false when nothing more can come.
  bool read_some(Clock::time_point deadline);
  int fd_ = -1;
  bool closed_ = false;
  std::string received_;
};

// A request head as the view's page sends it: `request_line` ("GET /
// HTTP/1.1"), Host naming the view, then `headers` (each ending in "\r\n").
std::string view_request(const std::string& request_line, int port,
                         const std::string& headers = "");

}  // namespace kivtest
