// SPDX-License-Identifier: MIT
// The view's server against clients that do not behave: bodies too large to
// read, requests trickled a byte at a time, readers that stop reading, more
// live-update streams than it has threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "raw_client.h"
#include "view_server.h"

namespace kivsim {
namespace {

using namespace std::chrono_literals;
using kivtest::RawClient;
using kivtest::view_request;
using Clock = std::chrono::steady_clock;

// A view serving on a free port.
struct RunningView {
  explicit RunningView(const ViewLimits& limits = ViewLimits()) : server(stream, commands, limits) {
    std::string error;
    started = server.start(0, error);
    EXPECT_TRUE(started) << error;
  }
  int port() const { return server.port(); }
  EventStream stream{0};
  PageCommands commands;
  ViewServer server;
  bool started = false;
};

TEST(ViewLimits, ABodyIsJudgedBeforeItIsRead) {
  RunningView view;
  ASSERT_TRUE(view.started);
  const int port = view.port();
  const std::string own = "Origin: http://127.0.0.1:" + std::to_string(port) + "\r\n";
  const std::string json = "Content-Type: application/json\r\n";
  const std::string huge = "Content-Length: 314572800\r\n";  // 300 MiB that never come
  struct Case {
    const char* what;
    std::string request;
    const char* answer;  // how the answer starts ("": any, or none)
  };
  const Case cases[] = {
      {"another origin",
       view_request("POST /edge HTTP/1.1", port, "Origin: http://evil.example\r\n" + json + huge),
       "HTTP/1.1 403"},
      {"another host",
       "POST /notify HTTP/1.1\r\nHost: evil.example:" + std::to_string(port) + "\r\n" + own + json +
           huge + "\r\n",
       "HTTP/1.1 403"},
      {"too large", view_request("POST /send HTTP/1.1", port, own + json + huge), "HTTP/1.1 413"},
      {"in chunks",
       view_request("POST /send HTTP/1.1", port, own + json + "Transfer-Encoding: chunked\r\n"),
       "HTTP/1.1 411"},
      {"a head without end", "GET / HTTP/1.1\r\nX-Pad: " + std::string(256 * 1024, 'a'), ""},
  };
  for (const Case& c : cases) {
    RawClient client(port);
    ASSERT_TRUE(client.connected()) << c.what;
    client.send(c.request);  // the server may close before it has all of it
    // Refused at once, and the connection ends: what follows is no request.
    EXPECT_TRUE(client.closed_by(Clock::now() + 2s))
        << c.what << ": still open, having answered " << client.received().substr(0, 80);
    EXPECT_EQ(client.received().compare(0, std::strlen(c.answer), c.answer), 0)
        << c.what << ": " << client.received().substr(0, 200);
  }
  Command cmd;
  EXPECT_FALSE(view.commands.take_command(cmd));
}

TEST(ViewLimits, EveryConnectionHasTimeLimits) {
  ViewLimits limits;
  limits.request_time = 300ms;
  limits.idle_time = 300ms;
  limits.write_time = 300ms;
  RunningView view(limits);
  ASSERT_TRUE(view.started);
  const int port = view.port();
  struct Case {
    const char* what;
    const char* start;    // what the client sends at once
    std::string trickle;  // then a byte every 50 ms
  };
  const Case quiet_clients[] = {
      {"a request trickled a byte at a time",
       "POST /notify HTTP/1.1\r\nX-Pad: ", std::string(60, 'a')},
      {"a connection that never speaks", "", ""},
  };
  for (const Case& c : quiet_clients) {
    RawClient client(port);
    client.send(c.start);
    auto deadline = Clock::now() + 2s;
    bool closed = false;
    for (size_t next = 0; !closed && Clock::now() < deadline; ++next) {
      if (next < c.trickle.size())
        client.send(c.trickle.substr(next, 1));
      closed = client.closed_by(Clock::now() + 50ms);
    }
    EXPECT_TRUE(closed) << c.what << ": still served after 2 s";
  }

  // A page that reads its updates keeps its stream past every limit.
  Event e;
  e.source = EventSource::kProgram;
  e.kind = EventKind::kOut;
  e.text = "first";
  view.stream.post(e);
  view.stream.flush();
  {
    RawClient page(port);
    page.send(view_request("GET /events HTTP/1.1", port));
    page.read_until("first", Clock::now() + 2s);
    std::this_thread::sleep_for(1s);
    e.text = "still here";
    view.stream.post(e);
    view.stream.flush();
    EXPECT_NE(page.read_until("still here", Clock::now() + 3s).find("still here"),
              std::string::npos);
  }

  // A live update whose reader stops taking it is cut off at the write
  // limit: 16 MiB of events are far more than the sockets hold.
  e.text = std::string(4096, 'x');
  for (int i = 0; i < 4096; ++i)
    view.stream.post(e);
  view.stream.flush();
  RawClient stalled(port, 4096);
  stalled.send(view_request("GET /events HTTP/1.1", port));
  // The client reads nothing until the server has been writing for well past
  // the write limit; building the batch may take a while in a slow build.
  ASSERT_TRUE(stalled.pending_by(2048, Clock::now() + 20s));
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(stalled.closed_by(Clock::now() + 3s)) << "the stalled stream is still served";
  EXPECT_LT(stalled.received().size(), 4096u * 4096u);
}

TEST(ViewLimits, StopEndsWhateverClientsDo) {
  RunningView view;
  ASSERT_TRUE(view.started);
  const int port = view.port();
  // A request trickled a byte at a time, a connection that never speaks and
  // a live update that is never read.
  RawClient trickler(port), silent(port), unread(port);
  unread.send(view_request("GET /events HTTP/1.1", port));
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    trickler.send("POST /notify HTTP/1.1\r\nX-Pad: ");
    // Long enough to outlast the bound below, and no longer: stopping must
    // not wait for it.
    for (int i = 0; i < 60 && !done && trickler.send("a"); ++i)
      std::this_thread::sleep_for(50ms);
  });
  std::this_thread::sleep_for(300ms);  // every connection is being served
  view.stream.close();
  auto begin = Clock::now();
  view.server.stop();
  auto took = Clock::now() - begin;
  done = true;
  trickle.join();
  EXPECT_LT(took, 2s) << "stopping waited for the clients";
}

TEST(ViewLimits, StreamsBeyondTheCapAreToldSoAndThePageStillAnswers) {
  ViewLimits limits;
  RunningView view(limits);
  ASSERT_TRUE(view.started);
  const int port = view.port();
  const int opened = limits.workers + 2;
  std::vector<std::unique_ptr<RawClient>> streams;
  auto deadline = Clock::now() + 3s;
  int live = 0;
  int refused = 0;
  for (int i = 0; i < opened; ++i) {
    streams.push_back(std::make_unique<RawClient>(port));
    RawClient& s = *streams.back();
    s.send(view_request("GET /events HTTP/1.1", port));
    const std::string& got = s.read_until("\n\n", deadline);
    if (got.find("event: run\n") != std::string::npos) {
      ++live;
    } else if (got.find("event: refused\ndata: {\"error\":\"") != std::string::npos) {
      ++refused;
      EXPECT_TRUE(s.closed_by(deadline)) << "a refused stream's connection stays open";
    }
  }
  EXPECT_EQ(live, limits.live_streams);
  EXPECT_EQ(refused, opened - limits.live_streams);

  // The page and its buttons are still served.
  RawClient page(port);
  page.send(view_request("GET /view.js HTTP/1.1", port));
  EXPECT_EQ(page.read_until("\r\n", Clock::now() + 2s).compare(0, 15, "HTTP/1.1 200 OK"), 0)
      << page.received();
}

}  // namespace
}  // namespace kivsim
