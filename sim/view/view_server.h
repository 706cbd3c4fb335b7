// SPDX-License-Identifier: MIT
// The view's web server: the page, its live updates as server-sent events
// and the requests that act on the device, on 127.0.0.1 only. Its threads
// start in `start` (after the launcher's sandbox is entered: that needs a
// single-threaded process) and end in `stop`.
//
//   GET  /, /view.js, /view.css   the page
//   GET  /state                   {"seq": the last event folded, "board": the
//                                 board's lines, "initial": the state before
//                                 any event, "state": the device's state now}
//                                 (state_json.h)
//   GET  /events                  server-sent events (live_updates.h): first
//                                 "run", naming the run; then "events", a
//                                 batch of the run's events, each as its
//                                 trace line (with what it changed in the
//                                 state), with "dropped" when older ones
//                                 were lost; "end" once the run's stream has
//                                 closed. "refused" alone when the view
//                                 already serves ViewLimits::live_streams
//                                 pages.
//   POST /edge   {"line": "input"|"trigger"|"tune", "level": 0|1}
//   POST /send   {"text": "..."}  text to the program on com1 (\r \n \xHH)
//   POST /notify                  the light controller's notification
// Acting requests are accepted from the view's own page only
// (request_guard.h), judged on their head before their body is read.
//
// Limits (view_limits.h, with the launcher's values): bodies up to 16 KiB
// (413 above, 411 without a Content-Length), a request's line and headers
// up to 64 KiB; a request must arrive whole within 5 s of its first byte, a
// connection quiet for 5 s between requests is closed, and each write of an
// answer must be taken within 10 s; 16 threads serve connections, of which
// live-update streams (one per page) may hold 4. A connection that breaks a
// limit is closed; `stop` closes them all, whatever their clients do.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "event_stream.h"
#include "page_commands.h"
#include "view_limits.h"

namespace kivsim {

class LimitedServer;

class ViewServer {
 public:
  static constexpr int kDefaultPort = 8765;

  // Reads `stream` on the server's threads and posts the page's commands to
  // `commands`, within `limits`.
  ViewServer(EventStream& stream, PageCommands& commands, const ViewLimits& limits = ViewLimits());
  ~ViewServer();  // stops
  ViewServer(const ViewServer&) = delete;
  ViewServer& operator=(const ViewServer&) = delete;

  // Binds 127.0.0.1:`port` (0: any free port) and starts serving. False with
  // `error` set when the port is in use or cannot be bound.
  bool start(int port, std::string& error);
  // The port being served (after start).
  int port() const { return port_; }
  // "http://127.0.0.1:PORT/"
  std::string address() const;
  // Stops serving and joins the server's threads: open pages get up to 3 s
  // to take the run's last events when the stream has closed, then every
  // connection ends (live updates within a second; at once when the stream
  // has closed).
  void stop();

 private:
  void add_routes();
  EventStream& stream_;
  PageCommands& commands_;
  const ViewLimits limits_;
  const std::string run_;              // this run's name in the live updates
  std::atomic<bool> stopping_{false};  // ends the live updates
  // Live-update streams still open, so that `stop` lets them deliver the
  // run's last events before the server closes their connections.
  std::mutex streams_mutex_;
  std::condition_variable streams_changed_;
  int live_streams_ = 0;  // guarded by streams_mutex_
  std::unique_ptr<LimitedServer> server_;
  std::thread thread_;
  std::atomic<bool> listening_done_{false};  // the server's thread has returned
  int port_ = 0;
};

}  // namespace kivsim
