// SPDX-License-Identifier: MIT
// A run's events judged against a scenario's expectations.
#include <gtest/gtest.h>

#include "device_state.h"
#include "scenario_check.h"

namespace kivsim {
namespace {

constexpr int64_t kMs = 1000000;

Event at(int64_t time_ns, EventKind kind) {
  Event e;
  e.time_ns = time_ns;
  e.kind = kind;
  return e;
}

// The checker takes the events as the stream hands them out: folded, each
// with what it changed.
class Folded {
 public:
  explicit Folded(ScenarioCheck& check) : check_(check) {}
  void see(Event e) {
    e.changes = fold_event(state_, e);
    check_.see(e);
  }

 private:
  ScenarioCheck& check_;
  DeviceState state_;
};

Expectation line_is(const char* where, int pin, int level, long ms) {
  Expectation x;
  x.where = where;
  x.kind = ExpectKind::kLine;
  x.pin = pin;
  x.level = level;
  x.ms = ms;
  return x;
}

Event command(EventKind kind, int pin, int level, bool sent) {
  Event e = at(10 * kMs, kind);
  e.source = EventSource::kGpio;
  e.pin = pin;
  e.level = level;
  e.sent = sent;
  return e;
}

TEST(ScenarioCheck, JudgesStatesByTheLastChangeAndBytesByTheirTime) {
  Expectation line;
  line.where = "l";
  line.kind = ExpectKind::kLine;
  line.pin = 21;
  line.level = 1;
  line.ms = 100;
  Expectation unset = line;
  unset.where = "u";
  unset.pin = 4;
  Expectation com1;
  com1.where = "c";
  com1.kind = ExpectKind::kCom1;
  com1.bytes = "OK 1\r\n";
  com1.ms = 100;
  Expectation exit;
  exit.where = "x";
  ScenarioCheck check({line, unset, com1, exit});
  Folded events(check);
  Event write = at(50 * kMs, EventKind::kWrite);
  write.source = EventSource::kGpio;
  write.pin = 21;
  write.level = 5;  // any level other than 0 is high
  events.see(write);
  write.time_ns = 150 * kMs;  // after the time asked for: not counted
  write.level = 0;
  events.see(write);
  Event bytes = at(90 * kMs, EventKind::kReceived);
  bytes.source = EventSource::kCom1;
  bytes.bytes = "OK";
  events.see(bytes);
  bytes.time_ns = 120 * kMs;
  bytes.bytes = " 1\r\n";
  events.see(bytes);
  std::vector<std::string> failures = check.failures();
  ASSERT_EQ(failures.size(), 3u);
  EXPECT_EQ(failures[0], "u: expected line pin 4 is 1 at 0.100 s, but the line was never set");
  EXPECT_EQ(failures[1],
            "c: expected com1 received \"OK 1\\r\\n\" by 0.100 s, but it received \"OK\"; it came "
            "later");
  EXPECT_EQ(failures[2], "x: expected the program exits with status 0, but the run did not end");
}

// Lines are what the program did: the launcher's own edge and level commands
// count only when they reached it, and never for the board's outputs.
TEST(ScenarioCheck, ALineIsWhatReachedTheProgramNotWhatTheLauncherTried) {
  ScenarioCheck check({line_is("trigger", 12, 1, 100), line_is("input", 17, 1, 100),
                       line_is("tune", 20, 1, 100), line_is("alarm", 21, 1, 100)});
  Folded events(check);
  events.see(command(EventKind::kEdge, 12, 1, false));
  events.see(command(EventKind::kLevel, 17, 1, false));
  events.see(command(EventKind::kEdge, 20, 1, true));
  events.see(command(EventKind::kLevel, 21, 1, true));
  std::vector<std::string> failures = check.failures();
  ASSERT_EQ(failures.size(), 3u) << (failures.empty() ? "" : failures[0]);
  EXPECT_EQ(failures[0],
            "trigger: expected line trigger (12) is 1 at 0.100 s, but the line was never set");
  EXPECT_EQ(failures[1],
            "input: expected line input (17) is 1 at 0.100 s, but the line was never set");
  EXPECT_EQ(failures[2],
            "alarm: expected line alarm (21) is 1 at 0.100 s, but the program never wrote it");
}

}  // namespace
}  // namespace kivsim
