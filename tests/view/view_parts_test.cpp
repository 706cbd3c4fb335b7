// SPDX-License-Identifier: MIT
// The view's parts without a browser: which requests it accepts, and the
// commands on their way from the server's threads to the launcher's loop.
#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "live_updates.h"
#include "page_commands.h"
#include "page_requests.h"
#include "request_guard.h"

namespace kivsim {
namespace {

TEST(RequestGuard, OnlyTheViewsOwnPageMayAct) {
  struct Case {
    const char* host;
    const char* origin;
    const char* type;
    const char* refused;  // "" when accepted
  };
  const Case cases[] = {
      {"127.0.0.1:8765", "http://127.0.0.1:8765", "application/json", ""},
      {"localhost:8765", "http://localhost:8765", "application/json; charset=utf-8", ""},
      {"127.0.0.1:8765", "http://evil.example", "application/json", "a request from"},
      {"127.0.0.1:8765", "http://127.0.0.1:8766", "application/json", "a request from"},
      {"127.0.0.1:8765", "https://127.0.0.1:8765", "application/json", "a request from"},
      {"127.0.0.1:8765", "http://127.0.0.1:8765.evil.example", "application/json",
       "a request from"},
      {"127.0.0.1:8765", "null", "application/json", "a request from"},
      {"127.0.0.1:8765", "", "application/json", "no Origin"},
      {"evil.example:8765", "http://evil.example:8765", "application/json", "Host"},
      {"127.0.0.1", "http://127.0.0.1:8765", "application/json", "Host"},
      {"127.0.0.1:8765", "http://127.0.0.1:8765", "text/plain", "not JSON"},
      {"127.0.0.1:8765", "http://127.0.0.1:8765", "application/jsonp", "not JSON"},
      {"127.0.0.1:8765", "http://127.0.0.1:8765", "", "not JSON"},
  };
  for (const Case& c : cases) {
    std::string refused = refuse_acting_request(c.host, c.origin, c.type, 8765);
    if (*c.refused == '\0')
      EXPECT_EQ(refused, "") << c.host << " " << c.origin << " " << c.type;
    else
      EXPECT_NE(refused.find(c.refused), std::string::npos)
          << c.host << " " << c.origin << " " << c.type << ": " << refused;
  }
}

TEST(RequestGuard, ABodyMustAnnounceASmallLength) {
  struct Case {
    const char* content_length;
    bool chunked;
    int status;
  };
  const Case cases[] = {
      {"0", false, 0},      {"1024", false, 0},        {"01024", false, 0},
      {"1025", false, 413}, {"314572800", false, 413}, {"99999999999999999999999", false, 413},
      {"", false, 411},     {"12, 12", false, 411},    {"-1", false, 411},
      {"12", true, 411},
  };
  for (const Case& c : cases) {
    std::string reason;
    EXPECT_EQ(refuse_body(c.content_length, c.chunked, 1024, reason), c.status)
        << c.content_length << (c.chunked ? " chunked" : "");
    EXPECT_EQ(reason.empty(), c.status == 0) << c.content_length << ": " << reason;
  }
}

// The page's buttons raise edges on the inputs, named in any spelling the
// board map reads; anything else is refused with the inputs' names.
TEST(PageRequests, AnEdgeNamesAnInput) {
  const std::string not_input = "\"line\" must be an input: input, trigger, tune";
  const struct {
    const char* body;
    int pin;  // -1: refused
    std::string refused;
  } cases[] = {
      {R"({"line": "trigger", "level": 1})", 12, ""},
      {R"({"line": "TUNE", "level": 0})", 20, ""},
      {R"({"line": "input", "level": 1})", 17, ""},
      {R"({"line": "laser", "level": 1})", -1, not_input},
      {R"({"line": "scan A", "level": 1})", -1, not_input},
      {R"({"line": "beacon", "level": 1})", -1, not_input},
      {R"({"line": 17, "level": 1})", -1, "\"line\" must name an input"},
      {R"({"line": "input", "level": 2})", -1, "\"level\" must be 0 or 1"},
  };
  for (const auto& c : cases) {
    Command cmd;
    EXPECT_EQ(page_command(PageAction::kEdge, c.body, cmd), c.refused) << c.body;
    if (c.pin >= 0) {
      EXPECT_EQ(cmd.kind, CommandKind::kEdge) << c.body;
      EXPECT_EQ(cmd.pin, c.pin) << c.body;
    }
  }
}

TEST(LiveUpdates, APageResumesOnlyWithinItsOwnRun) {
  struct Case {
    const char* last_event_id;
    uint64_t after;
  };
  const Case cases[] = {
      {"0123456789abcdef:42", 42},
      {"0123456789abcdef:0", 0},
      {"fedcba9876543210:42", 0},  // another run
      {"42", 0},
      {"", 0},
      {"0123456789abcdef:", 0},
      {"0123456789abcdef:4x", 0},
      {"0123456789abcdef:99999999999999999999", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(resume_after(c.last_event_id, "0123456789abcdef"), c.after) << c.last_event_id;
  std::string run = new_run_name();
  EXPECT_EQ(run.size(), 16u);
  EXPECT_EQ(run.find_first_not_of("0123456789abcdef"), std::string::npos) << run;
  EXPECT_NE(new_run_name(), run);
}

Command edge(int pin, int level) {
  Command c;
  c.kind = CommandKind::kEdge;
  c.pin = pin;
  c.level = level;
  return c;
}

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

TEST(PageCommands, WakeTheLoopAndComeOutInOrder) {
  PageCommands commands;
  ASSERT_TRUE(commands.ready());
  EXPECT_FALSE(readable(commands.command_fd()));
  // Posted from another thread, as the server does.
  std::thread server([&commands] {
    EXPECT_TRUE(commands.post(edge(17, 1)));
    EXPECT_TRUE(commands.post(edge(17, 0)));
  });
  server.join();
  EXPECT_TRUE(readable(commands.command_fd()));
  Command c;
  ASSERT_TRUE(commands.take_command(c));
  EXPECT_EQ(c.level, 1);
  ASSERT_TRUE(commands.take_command(c));
  EXPECT_EQ(c.level, 0);
  EXPECT_FALSE(commands.take_command(c));
  EXPECT_FALSE(readable(commands.command_fd()));

  // A page that floods the launcher is told so; the queue stays bounded.
  size_t taken = 0;
  while (commands.post(edge(17, 1)))
    ++taken;
  EXPECT_EQ(taken, PageCommands::kMaxWaiting);
  commands.close();
  while (commands.take_command(c)) {
  }
  EXPECT_FALSE(commands.post(edge(17, 1))) << "the run has ended, yet a command was taken";
}

}  // namespace
}  // namespace kivsim
