// SPDX-License-Identifier: MIT
// httplib's server with the view's limits on every connection
// (limited_stream.h) and a stop that waits for no client. httplib 0.11
// serves each connection on one thread of a fixed pool for as long as the
// client keeps it, and its stop closes only the listening socket. Here each
// connection runs in a loop of its own around httplib's request handling (as
// httplib's own TLS server does it), and `stop` shuts every open connection
// down, so that the threads serving them return at once.
#pragma once

#include <httplib.h>

#include <mutex>
#include <set>

#include "limited_stream.h"
#include "view_limits.h"

namespace kivsim {

class LimitedServer : public httplib::Server {
 public:
  // Serves on `limits.workers` threads.
  explicit LimitedServer(const ViewLimits& limits);

  // Ends every open connection, serves no new one and stops listening
  // (httplib::Server::stop does only the last). From any thread; the
  // listening thread then returns once its workers are joined.
  void stop();

  // From a handler, on the thread answering `res`: the connection ends once
  // `res` is written, and `res` says so. For an answer after which the
  // connection cannot or should not go on: a request refused before its body
  // was read, or a live update turned away, whose client would otherwise
  // hold a thread for as long as it keeps the connection open.
  static void end_connection_after(httplib::Response& res);

 private:
  bool process_and_close_socket(socket_t sock) override;
  // Answers requests on `stream` until the connection cannot go on.
  void serve(LimitedStream& stream);
  // False once stopping: the connection is closed unserved.
  bool admit(int fd);
  void forget(int fd);

  const ViewLimits limits_;
  std::mutex mutex_;
  std::set<int> open_;     // guarded: the connections being served
  bool stopping_ = false;  // guarded
};

}  // namespace kivsim
