// SPDX-License-Identifier: MIT
// The view's server on a free port, spoken to with an HTTP client.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include "test_support.h"
#include "trace_writer.h"
#include "view_server.h"

namespace kivsim {
namespace {

TEST(ViewServer, ServesThePageAndTakesItsActionsOnly) {
  int threads = kivtest::count_threads();
  int fds = kivtest::count_open_fds();
  {
    EventStream stream(0);
    PageCommands commands;
    ViewServer server(stream, commands);
    std::string error;
    ASSERT_TRUE(server.start(0, error)) << error;
    EXPECT_EQ(server.address(), "http://127.0.0.1:" + std::to_string(server.port()) + "/");
    httplib::Client client("127.0.0.1", server.port());

    for (const char* path : {"/", "/view.js", "/view.css"}) {
      auto res = client.Get(path);
      ASSERT_TRUE(res) << path;
      EXPECT_EQ(res->status, 200) << path;
      EXPECT_FALSE(res->body.empty()) << path;
    }
    auto foreign_host =
        client.Get("/", {{"Host", "evil.example:" + std::to_string(server.port())}});
    ASSERT_TRUE(foreign_host);
    EXPECT_EQ(foreign_host->status, 403);

    struct Case {
      const char* path;
      const char* body;
      int status;
    };
    const Case cases[] = {
        {"/edge", R"({"line":"trigger","level":1})", 202},
        {"/edge", R"({"line":"laser","level":1})", 400},
        {"/edge", R"({"line":"input","level":2})", 400},
        {"/edge", R"({"line":"input"})", 400},
        {"/edge", "[1", 400},
        {"/send", R"({"text":"hi\\r\\n"})", 202},
        {"/send", R"({"text":"two\nlines"})", 400},
        {"/send", R"({"text":""})", 400},
        {"/notify", "{}", 202},
    };
    const httplib::Headers from_page = {
        {"Origin", "http://127.0.0.1:" + std::to_string(server.port())}};
    for (const Case& c : cases) {
      auto res = client.Post(c.path, from_page, c.body, "application/json");
      ASSERT_TRUE(res) << c.path << " " << c.body;
      EXPECT_EQ(res->status, c.status) << c.path << " " << c.body << ": " << res->body;
    }
    Command cmd;
    ASSERT_TRUE(commands.take_command(cmd));
    EXPECT_EQ(cmd.kind, CommandKind::kEdge);
    EXPECT_EQ(cmd.pin, 12);
    EXPECT_EQ(cmd.level, 1);
    ASSERT_TRUE(commands.take_command(cmd));
    EXPECT_EQ(cmd.kind, CommandKind::kSend);
    EXPECT_EQ(cmd.port, 1);
    EXPECT_EQ(cmd.bytes, "hi\r\n");
    ASSERT_TRUE(commands.take_command(cmd));
    EXPECT_EQ(cmd.kind, CommandKind::kNotify);
    EXPECT_FALSE(commands.take_command(cmd));

    // Another origin is refused before anything reaches the launcher.
    auto refused = client.Post("/edge", {{"Origin", "http://evil.example"}},
                               R"({"line":"input","level":1})", "application/json");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
    EXPECT_FALSE(commands.take_command(cmd));

    // The live updates start with what happened so far, each event as its
    // trace line, and end with the run's stream.
    Event e;
    e.time_ns = 250000000;
    e.source = EventSource::kGpio;
    e.kind = "write";
    e.text = "laser (13) -> 1";
    e.pin = 13;
    e.level = 1;
    stream.post(e);
    stream.flush();
    std::string events;
    client.Get("/events", [&](const char* data, size_t len) {
      events.append(data, len);
      return events.find("\n\n") == std::string::npos;
    });
    EXPECT_NE(events.find("event: events\n"), std::string::npos) << events;
    EXPECT_NE(events.find(R"("dropped":0)"), std::string::npos) << events;
    std::vector<Event> posted;
    stream.wait_events(0, posted, 0);
    EXPECT_NE(events.find(trace_line(posted.at(0))), std::string::npos) << events;
    stream.close();
    auto ended = client.Get("/events", {{"Last-Event-ID", "1"}});
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->body, "event: end\ndata: {}\n\n");
    server.stop();
  }
  EXPECT_TRUE(kivtest::wait_until([&] { return kivtest::count_threads() == threads; }));
  EXPECT_EQ(kivtest::count_open_fds(), fds);
}

TEST(ViewServer, APortInUseIsNamedInTheError) {
  int busy = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(busy, 0);
  int yes = 1;
  // As the library's own default would: a second view must still fail.
  setsockopt(busy, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(busy, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(busy, 1), 0);
  socklen_t len = sizeof addr;
  getsockname(busy, reinterpret_cast<sockaddr*>(&addr), &len);
  int port = ntohs(addr.sin_port);

  EventStream stream;
  PageCommands commands;
  ViewServer server(stream, commands);
  std::string error;
  EXPECT_FALSE(server.start(port, error));
  EXPECT_NE(error.find("port " + std::to_string(port) + " is in use"), std::string::npos) << error;
  close(busy);
}

}  // namespace
}  // namespace kivsim
