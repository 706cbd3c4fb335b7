// SPDX-License-Identifier: MIT
// One connection of the view's server as httplib reads and writes it, with
// the view's limits on it: a request must arrive whole within the request
// time and byte limits, however it trickles in, and each write must be taken
// by the client within the write time. httplib's own socket stream limits
// each receive and send only, so a client sending a byte every few seconds,
// or reading one, would hold its thread forever. Used by one thread at a time.
#pragma once

#include <httplib.h>

#include <array>
#include <chrono>

#include "view_limits.h"

namespace kivsim {

class LimitedStream : public httplib::Stream {
 public:
  // Reads and writes `fd`, which stays the caller's to close.
  LimitedStream(int fd, const ViewLimits& limits);

  // Waits up to the idle time for the next request's first byte. False when
  // the client closed, the connection was shut down or it stayed quiet.
  bool wait_for_request();
  // Starts the next request's time and byte limits.
  void begin_request();
  // Bytes of the current request handed out so far.
  size_t taken() const { return taken_; }
  // True once a read ran out of time or bytes, or failed: whatever follows
  // on this connection cannot be read as a request.
  bool spent() const { return spent_; }

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return fd_; }

 private:
  using Clock = std::chrono::steady_clock;
  // Receives into the buffer, waiting until `deadline`: bytes received, 0 at
  // the client's end, -1 on a failure or when the deadline passed.
  ssize_t fill(Clock::time_point deadline);

  const int fd_;
  const ViewLimits& limits_;
  std::array<char, 4096> buffer_;
  size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
  size_t end_ = 0;
  Clock::time_point request_deadline_;
  size_t taken_ = 0;
  bool spent_ = false;
};

}  // namespace kivsim
