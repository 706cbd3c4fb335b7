// SPDX-License-Identifier: MIT
// The view's parts without a browser: which requests it accepts, the
// exchange between the launcher's loop and the server's threads, the state
// it publishes and its option.
#include <gtest/gtest.h>
#include <poll.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "device_json.h"
#include "options.h"
#include "request_guard.h"
#include "view_hub.h"

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
      {"127.0.0.1:8765", "http://127.0.0.1:8765.evil.example", "application/json", "a request from"},
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

TEST(ViewHub, CommandsWakeTheLoopAndComeOutInOrder) {
  ViewHub hub;
  ASSERT_TRUE(hub.ready());
  EXPECT_FALSE(readable(hub.command_fd()));
  ASSERT_TRUE(hub.post_command(edge(17, 1)));
  ASSERT_TRUE(hub.post_command(edge(17, 0)));
  EXPECT_TRUE(readable(hub.command_fd()));
  Command c;
  ASSERT_TRUE(hub.take_command(c));
  EXPECT_EQ(c.level, 1);
  ASSERT_TRUE(hub.take_command(c));
  EXPECT_EQ(c.level, 0);
  EXPECT_FALSE(hub.take_command(c));
  EXPECT_FALSE(readable(hub.command_fd()));

  // A page that floods the launcher is told so; the queue stays bounded.
  size_t taken = 0;
  while (hub.post_command(edge(17, 1)))
    ++taken;
  EXPECT_EQ(taken, ViewHub::kMaxCommands);
  hub.close();
  while (hub.take_command(c)) {
  }
  EXPECT_FALSE(hub.post_command(edge(17, 1))) << "a closed hub takes commands";
}

TEST(ViewHub, ReadersGetEveryEventOnceAndTheStateWhenItChanges) {
  ViewHub hub;
  hub.on_event(0.5, "gpio", "DO1 (22) -> 1");
  hub.on_event(0.75, "out", std::string("bad \xff byte"));
  hub.publish_state_json("{\"a\":1}");
  ViewHub::Update u = hub.wait_update(0, 0, 0);
  ASSERT_EQ(u.events.size(), 2u);
  auto first = nlohmann::json::parse(u.events[0]);
  EXPECT_EQ(first["seq"], 1);
  EXPECT_EQ(first["t"], 0.5);
  EXPECT_EQ(first["source"], "gpio");
  EXPECT_EQ(first["text"], "DO1 (22) -> 1");
  EXPECT_EQ(nlohmann::json::parse(u.events[1])["text"], "bad \xEF\xBF\xBD byte");
  EXPECT_EQ(u.state, "{\"a\":1}");

  // Nothing new: the wait times out empty; the same state again is no news.
  hub.publish_state_json("{\"a\":1}");
  ViewHub::Update none = hub.wait_update(u.last_seq, u.state_version, 10);
  EXPECT_TRUE(none.events.empty());
  EXPECT_TRUE(none.state.empty());

  // A reader waiting on another thread wakes for an event.
  std::thread loop([&hub] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    hub.on_event(1.0, "sim", "late");
  });
  ViewHub::Update late = hub.wait_update(u.last_seq, u.state_version, 10000);
  loop.join();
  ASSERT_EQ(late.events.size(), 1u);
  EXPECT_EQ(late.last_seq, 3u);

  hub.close();
  EXPECT_TRUE(hub.wait_update(late.last_seq, late.state_version, 10000).closed);
}

TEST(ViewHub, ALateReaderLearnsHowManyEventsWereDropped) {
  ViewHub hub;
  for (size_t i = 0; i < ViewHub::kMaxEvents + 5; ++i)
    hub.on_event(0, "out", "line");
  ViewHub::Update u = hub.wait_update(0, 0, 0);
  EXPECT_EQ(u.dropped, 5u);
  EXPECT_EQ(u.events.size(), ViewHub::kMaxEvents);
  EXPECT_EQ(nlohmann::json::parse(u.events.front())["seq"], 6);
  EXPECT_EQ(u.last_seq, ViewHub::kMaxEvents + 5);
}

TEST(DeviceJson, TheDeviceByRole) {
  BoardState board;
  board.output[13] = 1;  // laser
  board.output[27] = 0;  // DO2
  board.input[12] = 1;   // trigger
  LightControllerState light;
  light.channel_on[2] = true;
  light.work_mode = 5;
  light.light_on = true;
  light.brightness = 100;
  i2c::Bus bus;
  bus.lens().set_word(0, {0xE8, 0x03, 0, 0});
  bus.lens().set_word(40, {1, 0, 0, 0});
  StripState strip;
  strip.leds = {0xff0000, 0x00ff00};
  DeviceSnapshot snapshot{board, light, bus, strip, false, "exited with status 3"};
  auto j = nlohmann::json::parse(device_json(snapshot));
  EXPECT_EQ(j["outputs"]["laser"], 1);
  EXPECT_EQ(j["outputs"]["do2"], 0);
  EXPECT_TRUE(j["outputs"]["alarm"].is_null());
  EXPECT_EQ(j["inputs"]["trigger"], 1);
  EXPECT_TRUE(j["inputs"]["input"].is_null());
  EXPECT_EQ(j["light"]["channels"], nlohmann::json({false, false, true, false}));
  EXPECT_EQ(j["light"]["workMode"], 5);
  EXPECT_EQ(j["light"]["lightOn"], true);
  EXPECT_EQ(j["light"]["brightness"], 100);
  EXPECT_EQ(j["lens"]["value"], 1000);
  EXPECT_EQ(j["lens"]["vtemp"], 1);
  EXPECT_EQ(j["leds"], nlohmann::json({"#ff0000", "#00ff00"}));
  EXPECT_EQ(j["program"]["running"], false);
  EXPECT_EQ(j["program"]["status"], "exited with status 3");
}

TEST(Options, ViewTakesAnOptionalPort) {
  struct Case {
    std::vector<const char*> argv;
    bool ok;
    int port;
    const char* program;
  };
  const Case cases[] = {
      {{"run", "--view", "prog"}, true, 8765, "prog"},
      {{"run", "--view", "9000", "prog"}, true, 9000, "prog"},
      {{"run", "--view=0", "prog"}, true, 0, "prog"},
      {{"run", "--view", "--script", "s", "prog"}, true, 8765, "prog"},
      {{"run", "--view", "70000", "prog"}, false, 0, ""},
      {{"run", "--view=", "prog"}, false, 0, ""},
      {{"run", "--view=8x", "prog"}, false, 0, ""},
  };
  for (const Case& c : cases) {
    LaunchOptions o;
    std::string error;
    bool ok = parse_options(static_cast<int>(c.argv.size()), c.argv.data(), o, error);
    ASSERT_EQ(ok, c.ok) << c.argv[1] << " " << c.argv[2] << ": " << error;
    if (!ok) {
      EXPECT_NE(error.find("--view takes a port"), std::string::npos) << error;
      continue;
    }
    EXPECT_TRUE(o.view);
    EXPECT_EQ(o.view_port, c.port);
    EXPECT_EQ(o.program.front(), c.program);
  }
}

}  // namespace
}  // namespace kivsim
