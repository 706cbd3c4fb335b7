// SPDX-License-Identifier: MIT
#include "view_server.h"

#include <sys/socket.h>

#include <httplib.h>
#include <cstring>
#include <nlohmann/json.hpp>

#include "commands.h"
#include "limited_server.h"
#include "live_updates.h"
#include "page_files.h"
#include "page_requests.h"
#include "request_guard.h"
#include "state_json.h"

namespace kivsim {
namespace {

// How long a live-update stream waits for news before it checks its client.
constexpr int kUpdateWaitMs = 1000;
// Quiet waits before a comment line keeps the stream (and its check) going.
constexpr int kQuietWaitsBeforePing = 5;
// How long the end of a run waits for open pages to take its last events.
constexpr int kLastEventsWaitMs = 3000;

void answer(httplib::Response& res, int status, const std::string& error) {
  res.status = status;
  nlohmann::json body =
      error.empty() ? nlohmann::json{{"ok", true}} : nlohmann::json{{"error", error}};
  res.set_content(body.dump(), "application/json");
}

// A request refused on its head: its body, if any, is never read, so the
// connection cannot go on.
httplib::Server::HandlerResponse refuse(httplib::Response& res, int status,
                                        const std::string& error) {
  answer(res, status, error);
  LimitedServer::end_connection_after(res);
  return httplib::Server::HandlerResponse::Handled;
}

// SO_REUSEADDR only: the library's default adds SO_REUSEPORT, with which a
// second view could share a port already in use instead of failing.
void view_socket_options(int sock) {
  int yes = 1;
  setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

}  // namespace

ViewServer::ViewServer(EventStream& stream, PageCommands& commands, const ViewLimits& limits)
    : stream_(stream),
      commands_(commands),
      limits_(limits),
      run_(new_run_name()),
      server_(new LimitedServer(limits)) {
  server_->set_socket_options(view_socket_options);
  add_routes();
}

ViewServer::~ViewServer() {
  stop();
}

std::string ViewServer::address() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

bool ViewServer::start(int port, std::string& error) {
  if (thread_.joinable()) {
    error = "the view is already serving";
    return false;
  }
  if (port == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ < 0) {
      error = std::string("cannot serve the view on 127.0.0.1: ") + std::strerror(errno);
      return false;
    }
  } else {
    errno = 0;
    if (!server_->bind_to_port("127.0.0.1", port)) {
      int e = errno;
      error = e == EADDRINUSE ? "port " + std::to_string(port) +
                                    " is in use on 127.0.0.1: choose another with --view PORT"
                              : "cannot serve the view on 127.0.0.1:" + std::to_string(port) +
                                    (e ? std::string(": ") + std::strerror(e) : std::string());
      return false;
    }
    port_ = port;
  }
  listening_done_ = false;
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    listening_done_ = true;
  });
  // httplib's stop does nothing until its server runs: a stop right after
  // this start would otherwise leave it serving, and the join waiting.
  while (!server_->is_running() && !listening_done_)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void ViewServer::stop() {
  commands_.close();
  if (thread_.joinable() && stream_.closed()) {
    // The server stops writing once it stops: let the open pages take the
    // run's last events and its end first.
    std::unique_lock<std::mutex> lock(streams_mutex_);
    streams_changed_.wait_for(lock, std::chrono::milliseconds(kLastEventsWaitMs),
                              [this] { return live_streams_ == 0; });
  }
  stopping_ = true;  // live updates still open end at their next wake
  if (thread_.joinable()) {
    server_->stop();  // every connection too, whatever its client does
    thread_.join();   // listen_after_bind returns once its workers are joined
  }
}

void ViewServer::add_routes() {
  httplib::Server& s = *server_;
  // Judged on the head alone, before a byte of a body is read. Every request
  // must name the view in Host: a name rebound to 127.0.0.1 gets nothing,
  // neither the page nor the device's state. Any other than GET or HEAD acts,
  // or could have httplib read its body: the view's page alone sends those,
  // with a small body.
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    RequestHead head;
    head.method = req.method;
    head.host = req.get_header_value("Host");
    head.origin = req.get_header_value("Origin");
    head.content_type = req.get_header_value("Content-Type");
    head.content_length = req.get_header_value("Content-Length");
    head.chunked = req.has_header("Transfer-Encoding");
    std::string reason;
    const int status = refuse_request(head, port_, limits_.body_bytes, reason);
    if (status != 0)
      return refuse(res, status, reason);
    return httplib::Server::HandlerResponse::Unhandled;
  });
  for (const PageFile* f = page_files(); f->path; ++f) {
    s.Get(f->path, [f](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-store");
      res.set_content(f->body, f->content_type);
    });
  }
  // The page draws the state it is given: the board's lines, the state
  // before any event, and the state the events so far add up to, as of the
  // last of them (the page sets the changes of later events on top).
  s.Get("/state", [this](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    uint64_t seq = 0;
    const DeviceState state = stream_.state(&seq);
    const nlohmann::json body = {{"seq", seq},
                                 {"board", board_json()},
                                 {"initial", state_json(DeviceState())},
                                 {"state", state_json(state)}};
    res.set_content(body.dump(), "application/json");
  });
  s.Get("/events", [this](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    bool refused = false;
    {
      std::lock_guard<std::mutex> lock(streams_mutex_);
      refused = live_streams_ >= limits_.live_streams;
      if (!refused)
        ++live_streams_;
    }
    if (refused) {
      // Each stream holds a thread while it is open: past the cap the pages'
      // other requests would find none.
      res.set_content(refused_message("the view serves " + std::to_string(limits_.live_streams) +
                                      " pages at once: close one, then reload this one"),
                      "text/event-stream");
      LimitedServer::end_connection_after(res);
      return;
    }
    struct Cursor {
      bool named = false;  // the run's name has been sent
      uint64_t seq = 0;
      int quiet = 0;
    };
    auto cursor = std::make_shared<Cursor>();
    // A reconnecting EventSource names the last event it has seen.
    cursor->seq = resume_after(req.get_header_value("Last-Event-ID"), run_);
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, cursor](size_t, httplib::DataSink& sink) {
          if (!cursor->named) {
            cursor->named = true;
            std::string msg = run_message(run_);
            return sink.write(msg.data(), msg.size());
          }
          std::vector<Event> events;
          bool open = stream_.wait_events(cursor->seq, events, kUpdateWaitMs);
          std::string msg;
          if (!events.empty()) {
            msg = events_message(run_, cursor->seq, events);
            cursor->seq = events.back().seq;
          }
          if (!open)
            msg += end_message();
          else if (msg.empty() && ++cursor->quiet >= kQuietWaitsBeforePing)
            msg = ": still here\n\n";
          if (!msg.empty()) {
            cursor->quiet = 0;
            if (!sink.write(msg.data(), msg.size()))
              return false;
          }
          if (!open || stopping_.load())
            sink.done();
          return true;
        },
        [this](bool) {
          std::lock_guard<std::mutex> lock(streams_mutex_);
          --live_streams_;
          streams_changed_.notify_all();
        });
  });

  auto acting = [this](PageAction action) {
    // Host, Origin and the body's type and size were judged before routing.
    return [this, action](const httplib::Request& req, httplib::Response& res) {
      Command cmd;
      const std::string error = page_command(action, req.body, cmd);
      if (!error.empty())
        return answer(res, 400, error);
      if (!commands_.post(cmd))
        return answer(res, 503, "the launcher is not taking commands now");
      answer(res, 202, "");
    };
  };
  s.Post("/edge", acting(PageAction::kEdge));
  s.Post("/send", acting(PageAction::kSend));
  s.Post("/notify", acting(PageAction::kNotify));
}

}  // namespace kivsim
