// SPDX-License-Identifier: MIT
// A run's events judged against a scenario's expectations.
#include <gtest/gtest.h>

#include "event_stream.h"
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
  Event write = at(50 * kMs, EventKind::kWrite);
  write.source = EventSource::kGpio;
  write.pin = 21;
  write.level = 5;  // any level other than 0 is high
  check.see(write);
  write.time_ns = 150 * kMs;  // after the time asked for: not counted
  write.level = 0;
  check.see(write);
  Event bytes = at(90 * kMs, EventKind::kReceived);
  bytes.source = EventSource::kCom1;
  bytes.bytes = "OK";
  check.see(bytes);
  bytes.time_ns = 120 * kMs;
  bytes.bytes = " 1\r\n";
  check.see(bytes);
  std::vector<std::string> failures = check.failures();
  ASSERT_EQ(failures.size(), 3u);
  EXPECT_EQ(failures[0], "u: expected line pin 4 is 1 at 0.100 s, but the line was never set");
  EXPECT_EQ(failures[1],
            "c: expected com1 received \"OK 1\\r\\n\" by 0.100 s, but it received \"OK\"; it came "
            "later");
  EXPECT_EQ(failures[2], "x: expected the program exits with status 0, but the run did not end");
}

}  // namespace
}  // namespace kivsim
