// SPDX-License-Identifier: MIT
// The view's server on a free port, spoken to with an HTTP client.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include "event_json.h"
#include "raw_client.h"
#include "state_json.h"
#include "test_support.h"
#include "view_server.h"

namespace kivsim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The id of the last message of live updates in `received` ("" when none).
std::string last_id(const std::string& received) {
  size_t at = received.rfind("\nid: ");
  if (received.compare(0, 4, "id: ") == 0 && at == std::string::npos)
    at = 0;
  else if (at == std::string::npos)
    return "";
  else
    ++at;
  size_t begin = at + 4;
  return received.substr(begin, received.find('\n', begin) - begin);
}

// The message naming the run that starts each stream of live updates.
std::string run_message(const std::string& received) {
  size_t at = received.find("event: run\n");
  if (at == std::string::npos)
    return "";
  return received.substr(at, received.find("\n\n", at) + 2 - at);
}

Event program_line(const char* text, int64_t time_ns) {
  Event e;
  e.time_ns = time_ns;
  e.source = EventSource::kProgram;
  e.kind = EventKind::kOut;
  e.text = text;
  return e;
}

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
    for (const char* path : {"/", "/state"}) {
      auto foreign_host =
          client.Get(path, {{"Host", "evil.example:" + std::to_string(server.port())}});
      ASSERT_TRUE(foreign_host);
      EXPECT_EQ(foreign_host->status, 403) << path;
    }

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
    e.kind = EventKind::kWrite;
    e.text = "laser (13) -> 1";
    e.pin = 13;
    e.level = 1;
    stream.post(e);
    stream.flush();
    std::string events;
    client.Get("/events", [&](const char* data, size_t len) {
      events.append(data, len);
      return events.find("]}\n\n") == std::string::npos;
    });
    EXPECT_NE(events.find("event: events\n"), std::string::npos) << events;
    EXPECT_NE(events.find(R"("dropped":0)"), std::string::npos) << events;
    std::vector<Event> posted;
    stream.wait_events(0, posted, 0);
    EXPECT_NE(events.find(trace_line(posted.at(0))), std::string::npos) << events;
    EXPECT_NE(events.find(R"("state":{"outputs":{"laser":1}})"), std::string::npos) << events;

    // The page draws the state it is given: the board's lines, the state
    // before any event and the state now, as of the last event folded.
    auto state = client.Get("/state");
    ASSERT_TRUE(state);
    EXPECT_EQ(state->status, 200);
    nlohmann::json j = nlohmann::json::parse(state->body);
    EXPECT_EQ(j["seq"], 1);
    EXPECT_EQ(j["board"], board_json());
    EXPECT_EQ(j["initial"]["outputs"], nlohmann::json::object());
    EXPECT_EQ(j["state"]["outputs"], nlohmann::json({{"laser", 1}}));
    EXPECT_EQ(j["state"], state_json(stream.state()));
    stream.close();
    auto ended = client.Get("/events", {{"Last-Event-ID", last_id(events)}});
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->body, run_message(events) + "event: end\ndata: {}\n\n");
    server.stop();
  }
  EXPECT_TRUE(kivtest::wait_until([&] { return kivtest::count_threads() == threads; }));
  EXPECT_EQ(kivtest::count_open_fds(), fds);
}

// A page whose launcher ended without the end of its stream reaching it
// (killed, or its connection lost) reconnects, naming the last event it has;
// a launcher started since on the same port has a new run, whose events
// must all reach the page.
TEST(ViewServer, AStreamResumedFromAnotherRunStartsAtItsFirstEvent) {
  std::string old_id;
  std::string old_run;
  {
    EventStream stream(0);
    PageCommands commands;
    ViewServer server(stream, commands);
    std::string error;
    ASSERT_TRUE(server.start(0, error)) << error;
    for (int i = 1; i <= 3; ++i)
      stream.post(program_line(("first run " + std::to_string(i)).c_str(), i));
    stream.flush();
    kivtest::RawClient page(server.port());
    page.send(kivtest::view_request("GET /events HTTP/1.1", server.port()));
    const std::string& got = page.read_until("first run 3", Clock::now() + 2s);
    old_id = last_id(got);
    old_run = run_message(got);
    ASSERT_FALSE(old_id.empty()) << got;
  }
  EventStream stream(0);
  PageCommands commands;
  ViewServer server(stream, commands);
  std::string error;
  ASSERT_TRUE(server.start(0, error)) << error;
  stream.post(program_line("second run 1", 1));
  stream.post(program_line("second run 2", 2));
  stream.flush();
  kivtest::RawClient page(server.port());
  page.send(kivtest::view_request("GET /events HTTP/1.1", server.port(),
                                  "Last-Event-ID: " + old_id + "\r\n"));
  const std::string& got = page.read_until("second run 2", Clock::now() + 2s);
  EXPECT_NE(got.find("second run 1"), std::string::npos) << got;
  // The stream names its run first, so that the page starts over.
  EXPECT_LT(got.find("event: run\ndata: {\"run\":\""), got.find("\nid: ")) << got;
  EXPECT_NE(run_message(got), old_run);

  // Within one run a page resumes after the last event it has.
  std::string id = last_id(got);
  stream.post(program_line("second run 3", 3));
  stream.flush();
  kivtest::RawClient resumed(server.port());
  resumed.send(kivtest::view_request("GET /events HTTP/1.1", server.port(),
                                     "Last-Event-ID: " + id + "\r\n"));
  const std::string& more = resumed.read_until("second run 3", Clock::now() + 2s);
  EXPECT_NE(more.find("second run 3"), std::string::npos) << more;
  EXPECT_EQ(more.find("second run 2"), std::string::npos) << more;
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
