// SPDX-License-Identifier: MIT
// Scenarios that judge timing: expectations "within" a time "after" an
// event, and "when" one comes, read from a file and judged on a run's events;
// the watch that tells an event's occurrences.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "event_stream.h"
#include "scenario.h"
#include "scenario_check.h"

namespace kivsim {
namespace {

constexpr int64_t kMs = 1000000;

// A scenario file's expectations judged on `events`, posted in order to a
// stream as the launcher posts them. `error` gets why the file was refused.
std::vector<ExpectationResult> judged(const std::string& content, std::vector<Event> events,
                                      std::string& error, Scenario* scenario = nullptr) {
  char dir[] = "/tmp/kiv-timing-XXXXXX";
  if (!mkdtemp(dir))
    return {};
  const std::string path = std::string(dir) + "/s.json";
  std::ofstream(path) << content;
  Scenario s;
  const bool loaded = load_scenario(path, s, error);
  unlink(path.c_str());
  rmdir(dir);
  if (!loaded)
    return {};
  if (scenario)
    *scenario = s;
  ScenarioCheck check(s.expectations);
  EventStream stream(0);
  stream.subscribe([&check](const Event& e) { check.see(e); });
  for (Event& e : events)
    stream.post(std::move(e));
  stream.close();
  return check.results();
}

Event edge(int64_t ms, int pin, int level) {
  Event e;
  e.time_ns = ms * kMs;
  e.source = EventSource::kGpio;
  e.kind = EventKind::kEdge;
  e.pin = pin;
  e.level = level;
  e.sent = true;
  return e;
}

Event written(int64_t ms, int pin, int level) {
  Event e = edge(ms, pin, level);
  e.kind = EventKind::kWrite;
  return e;
}

Event com1(int64_t ms, const std::string& bytes) {
  Event e;
  e.time_ns = ms * kMs;
  e.source = EventSource::kCom1;
  e.kind = EventKind::kReceived;
  e.bytes = bytes;
  return e;
}

// Two trigger cycles: the laser follows 50 and 120 ms after each rise, the
// result comes in two pieces.
std::vector<Event> two_cycles() {
  return {edge(100, 12, 1), written(150, 13, 1), edge(200, 12, 0), written(250, 13, 0),
          edge(300, 12, 1), written(420, 13, 1), com1(500, "OK"),  com1(520, " 2\r\n")};
}

TEST(ScenarioTiming, AfterMeasuresEveryOccurrenceAndFailsOnTheWorst) {
  const struct {
    const char* expectation;
    const char* message;  // "" when it holds
    size_t delays;
  } cases[] = {
      {R"({"after": "trigger rises", "within": 150, "line": "laser", "level": 1})", "", 2},
      {R"({"after": "trigger rises", "within": 100, "line": "laser", "level": 1})",
       "expected line laser (13) is 1 within 100 ms after trigger rises, but it took 120.0 ms "
       "after the one at 0.300 s (worst 120.0 ms, median 120.0 ms over 2)",
       2},
      {R"({"after": "trigger falls", "within": 60, "line": 13, "level": 0})", "", 1},
      // One result may answer two events; text may come in pieces.
      {R"({"after": "trigger rises", "within": 300, "com1_match": "OK [0-9]\r\n"})",
       "expected com1 received text matching \"OK [0-9]\\r\\n\" within 300 ms after trigger "
       "rises, but it took 420.0 ms after the one at 0.100 s (worst 420.0 ms, median 420.0 ms "
       "over 2)",
       2},
      {R"({"after": {"line": "laser", "level": 1}, "within": 400, "com1": "OK 2"})", "", 2},
      {R"({"after": "trigger rises", "within": 400, "com1": "FAULT"})",
       "expected com1 received \"FAULT\" within 400 ms after trigger rises, but it never came "
       "after the one at 0.100 s (no delay measured)",
       0},
      {R"({"after": "tune rises", "within": 400, "com1": "OK"})",
       "expected com1 received \"OK\" within 400 ms after tune rises, but tune rises never "
       "happened",
       0},
  };
  for (const auto& c : cases) {
    std::string error;
    const std::vector<ExpectationResult> r =
        judged(std::string(R"({"expect": [)") + c.expectation + "]}", two_cycles(), error);
    ASSERT_EQ(r.size(), 1u) << c.expectation << ": " << error;
    EXPECT_EQ(r[0].held, *c.message == '\0') << c.expectation << ": " << r[0].message;
    if (*c.message) {
      EXPECT_EQ(r[0].message, std::string("expect[0]: ") + c.message);
    }
    EXPECT_EQ(r[0].delays_ns.size(), c.delays) << c.expectation;
  }
}

TEST(ScenarioTiming, WhenJudgesAStateAtTheEventsFirstOccurrence) {
  std::string error;
  const std::vector<ExpectationResult> r = judged(R"({"expect": [
          {"when": {"com1_match": "O."}, "line": "laser", "level": 1},
          {"when": "trigger falls", "line": "laser", "level": 0},
          {"when": {"com1": "FAULT"}, "line": "laser", "level": 1}]})",
                                                  two_cycles(), error);
  ASSERT_EQ(r.size(), 3u) << error;
  EXPECT_TRUE(r[0].held) << r[0].message;
  EXPECT_EQ(r[1].message,
            "expect[1]: expected line laser (13) is 0 when trigger falls, but it was 1 (write at "
            "0.150 s) (trigger falls at 0.200 s)");
  EXPECT_EQ(r[2].message,
            "expect[2]: expected line laser (13) is 1 when {\"com1\":\"FAULT\"}, but "
            "{\"com1\":\"FAULT\"} never happened");
}

TEST(ScenarioTiming, WaitingActionsAndTheirFaultsAreRead) {
  std::string error;
  Scenario s;
  judged(R"({"actions": [{"when": {"com1": "READY"}, "delay": 200, "do": "edge trigger 1"},
                         {"at": 100, "do": "notify"}],
             "expect": [{"exit": 0}]})",
         {}, error, &s);
  ASSERT_EQ(s.waiting.size(), 1u) << error;
  EXPECT_EQ(s.waiting[0].when.kind, PatternKind::kCom1);
  EXPECT_EQ(s.waiting[0].delay_ms, 200);
  EXPECT_EQ(s.waiting[0].command.kind, CommandKind::kEdge);
  EXPECT_EQ(s.script.size(), 2u);  // wait 100, notify

  const struct {
    const char* content;
    const char* error;
  } refused[] = {
      {R"({"actions": [{"at": 1, "when": "trigger rises", "do": "notify"}], "expect": [{"exit": 0}]})",
       "actions[0]: needs \"do\" and one of \"at\" and \"when\""},
      {R"({"actions": [{"at": 1, "delay": 5, "do": "notify"}], "expect": [{"exit": 0}]})",
       "actions[0].delay: belongs to an action that waits for an event (\"when\")"},
      {R"({"actions": [{"when": "trigger wobbles", "do": "notify"}], "expect": [{"exit": 0}]})",
       "actions[0].when: must be \"<line> rises\", \"<line> falls\" or an object"},
      {R"({"expect": [{"after": "trigger rises", "line": "laser", "level": 1}]})",
       "expect[0]: \"after\" and \"within\" go together"},
      {R"({"expect": [{"after": "trigger rises", "within": 5, "at": 9, "lens": 1}]})",
       "expect[0]: a state is expected \"at\" a time (not \"by\"), \"when\" an event comes or "
       "\"within\" a time \"after\" one: one of them"},
      {R"({"expect": [{"by": 9, "com1_match": "OK ("}]})",
       "expect[0].com1_match: is no regular expression: "},
      {R"({"expect": [{"when": {"line": "laser"}, "lens": 1}]})",
       "expect[0].when: a line needs its \"level\", and only a line has one"},
  };
  for (const auto& r : refused) {
    error.clear();
    EXPECT_TRUE(judged(r.content, {}, error).empty()) << r.content;
    EXPECT_NE(error.find(std::string(": ") + r.error), std::string::npos) << r.content << "\n"
                                                                          << error;
  }
}

TEST(EventWatch, StatesOccurWhenTheyComeAndTextOnceWhole) {
  // A bounce: three rises among five edges.
  EventWatch rises(EventPattern{PatternKind::kLine, "trigger rises", 12, 1, "", nullptr, {}, 0});
  int count = 0;
  for (int i = 0; i < 5; ++i)
    count += rises.see(edge(i, 12, i % 2 == 0 ? 1 : 0)) ? 1 : 0;
  count += rises.see(edge(9, 12, 1)) ? 1 : 0;  // already high: no rise
  EXPECT_EQ(count, 3);

  EventWatch text(EventPattern{PatternKind::kCom1, "", -1, 1, "READY\r\n", nullptr, {}, 0});
  EXPECT_FALSE(text.see(com1(1, "REA")));
  EXPECT_TRUE(text.see(com1(2, "DY\r\nRE")));
  // What followed the first begins the second.
  EXPECT_FALSE(text.see(com1(3, "ADY")));
  EXPECT_TRUE(text.see(com1(4, "\r\n")));
  EXPECT_FALSE(text.see(com1(5, "\r\n")));
}

}  // namespace
}  // namespace kivsim
