// SPDX-License-Identifier: MIT
// The view's web server: the page, its live updates as server-sent events
// and the requests that act on the device, on 127.0.0.1 only. Its threads
// start in `start` (after the launcher's sandbox is entered: that needs a
// single-threaded process) and end in `stop`.
//
//   GET  /, /view.js, /view.css   the page
//   GET  /events                  server-sent events: "events" (a batch of
//                                 events, with "dropped" when the oldest were
//                                 lost) and "state" (the device's state)
//   GET  /state                   the device's state now, as JSON
//   POST /edge   {"line": "input"|"trigger"|"tune", "level": 0|1}
//   POST /send   {"text": "..."}  text to the program on com1 (\r \n \xHH)
//   POST /notify                  the light controller's notification
// Acting requests are accepted from the view's own page only (request_guard.h).
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "view_hub.h"

namespace httplib {
class Server;
}

namespace kivsim {

class ViewServer {
 public:
  static constexpr int kDefaultPort = 8765;

  explicit ViewServer(ViewHub& hub);
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
  // Ends the live updates, stops serving and joins the server's threads.
  void stop();

 private:
  void add_routes();
  ViewHub& hub_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace kivsim
