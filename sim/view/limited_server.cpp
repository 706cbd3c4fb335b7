// SPDX-License-Identifier: MIT
#include "limited_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace kivsim {
namespace {

// What a handler asked of the connection whose request it answers. Handlers
// run on the thread serving that connection, inside `serve`.
struct Answering {
  bool end_connection = false;
};
thread_local Answering* t_answering = nullptr;

}  // namespace

LimitedServer::LimitedServer(const ViewLimits& limits) : limits_(limits) {
  new_task_queue = [workers = limits.workers] {
    return new httplib::ThreadPool(static_cast<size_t>(workers));
  };
  // What the answers announce; `serve` keeps to it.
  set_keep_alive_timeout(std::max<time_t>(
      1, std::chrono::duration_cast<std::chrono::seconds>(limits.idle_time).count()));
}

void LimitedServer::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    // Shut down, not closed: each descriptor stays its thread's to close,
    // and whatever that thread waits for on it returns at once.
    for (int fd : open_)
      shutdown(fd, SHUT_RDWR);
  }
  httplib::Server::stop();
}

void LimitedServer::end_connection_after(httplib::Response& res) {
  res.set_header("Connection", "close");
  if (t_answering)
    t_answering->end_connection = true;
}

bool LimitedServer::admit(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_)
    return false;
  open_.insert(fd);
  return true;
}

void LimitedServer::forget(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  open_.erase(fd);
}

bool LimitedServer::process_and_close_socket(socket_t sock) {
  bool served = admit(sock);
  if (served) {
    LimitedStream stream(sock, limits_);
    serve(stream);
    forget(sock);  // before the close: `stop` must never shut down a number reused since
  }
  close(sock);
  return served;
}

void LimitedServer::serve(LimitedStream& stream) {
  for (size_t count = keep_alive_max_count_; count > 0; --count) {
    if (!stream.wait_for_request())
      return;
    stream.begin_request();
    bool understood = false;  // the head was read and parsed
    size_t head_bytes = 0;
    uint64_t body_bytes = 0;
    bool chunked = false;
    Answering answering;
    bool client_closes = false;
    t_answering = &answering;
    bool answered = process_request(stream, count == 1, client_closes, [&](httplib::Request& req) {
      understood = true;
      head_bytes = stream.taken();
      body_bytes = req.get_header_value<uint64_t>("Content-Length");
      chunked = req.has_header("Transfer-Encoding");
    });
    t_answering = nullptr;
    // After a head not understood, or a body left unread (refused, or one
    // httplib does not read), the next request cannot be found.
    bool body_read = !chunked && stream.taken() - head_bytes >= body_bytes;
    if (!answered || !understood || !body_read || client_closes || answering.end_connection ||
        stream.spent())
      return;
  }
}

}  // namespace kivsim

#ifdef __SANITIZE_THREAD__
// ThreadSanitizer checks httplib's library, built without it, only where it
// calls memcpy and the like, and misses what orders those calls: the guard
// of a function-local static it builds on first use (its table of methods)
// is read inline. Two connections' first requests, served at once, then look
// like a race on that table. Its calls are left unchecked, as the rest of it is.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
#endif
