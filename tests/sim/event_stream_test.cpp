// SPDX-License-Identifier: MIT
// The launcher's one ordered stream of events, its readers and the reports'
// time stamps.
#include <gtest/gtest.h>

#include <thread>

#include "event_log.h"
#include "event_stream.h"
#include "gpio_events.h"
#include "scenario_check.h"
#include "terminal_log.h"

namespace kivsim {
namespace {

constexpr int64_t kMs = 1000000;

Event at(int64_t time_ns, const char* kind) {
  Event e;
  e.time_ns = time_ns;
  e.kind = kind;
  e.text = kind;
  return e;
}

TEST(EventStream, HeldEventsComeOutInTimeOrderAndALateOneSaysSo) {
  EventStream stream(50 * kMs);
  const int64_t origin = EventStream::now_mono_ns();
  stream.set_origin(origin);
  std::vector<Event> seen;
  stream.subscribe([&](const Event& e) { seen.push_back(e); });
  stream.post(at(30 * kMs, "c"));
  stream.post(at(10 * kMs, "a"));
  stream.post(at(20 * kMs, "b"));
  stream.post(at(20 * kMs, "b2"));  // equal times keep the posting order
  EXPECT_EQ(stream.release_in_ms(origin + 40 * kMs), 20);
  stream.release(origin + 65 * kMs);  // the hold has passed for "a" only
  ASSERT_EQ(seen.size(), 1u);
  stream.release(origin + 100 * kMs);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(stream.release_in_ms(origin + 100 * kMs), -1);
  const char* order[] = {"a", "b", "b2", "c"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(seen[i].kind, order[i]);
    EXPECT_EQ(seen[i].seq, i + 1);
    EXPECT_FALSE(seen[i].late);
  }
  stream.post(at(25 * kMs, "late"));  // its place has been passed: out at once
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_TRUE(seen[4].late);
  EXPECT_EQ(TerminalLog(stdout, false).format(seen[4]),
            "  0.025  sim   late   (came late: shown after later events)");
}

TEST(EventStream, AReaderOnAnotherThreadTakesEveryEventOnceInOrder) {
  EventStream stream(0);
  constexpr uint64_t kEvents = 3000;
  std::vector<uint64_t> taken;
  std::thread reader([&] {
    uint64_t after = 0;
    std::vector<Event> batch;
    while (stream.wait_events(after, batch, 1000)) {
      for (const Event& e : batch)
        taken.push_back(e.seq);
      if (!batch.empty())
        after = batch.back().seq;
      batch.clear();
    }
  });
  for (uint64_t i = 0; i < kEvents; ++i) {
    stream.post(at(static_cast<int64_t>(i), "e"));
    if (i % 7 == 0)
      stream.flush();
  }
  stream.close();
  reader.join();
  ASSERT_EQ(taken.size(), kEvents);
  for (uint64_t i = 0; i < kEvents; ++i)
    ASSERT_EQ(taken[i], i + 1);
  std::vector<Event> none;
  EXPECT_FALSE(stream.wait_events(kEvents, none, 10)) << "a closed stream has nothing more";
  EXPECT_TRUE(stream.closed());
}

TEST(EventStream, ReportsCarryTheirTimeAndFields) {
  struct Stamp {
    const char* line;
    bool stamped;
    int64_t ns;
    const char* rest;
  };
  for (const Stamp& c :
       {Stamp{"@1234567 write 22 1", true, 1234567, "write 22 1"},
        Stamp{"write 22 1", false, 0, "write 22 1"}, Stamp{"@ write", false, 0, "@ write"},
        Stamp{"@12x write", false, 0, "@12x write"},
        Stamp{"@99999999999999999999999 x", false, 0, "@99999999999999999999999 x"}}) {
    std::string line = c.line;
    int64_t ns = 0;
    EXPECT_EQ(take_stamp(line, ns), c.stamped) << c.line;
    EXPECT_EQ(line, c.rest);
    if (c.stamped) {
      EXPECT_EQ(ns, c.ns);
    }
  }
  struct Fields {
    const char* line;
    const char* kind;
    int pin, level, result;
  };
  for (const Fields& c :
       {Fields{"write 22 1", "write", 22, 1, 0}, Fields{"isr 6 3 -1", "isr", 6, 3, -1},
        Fields{"setup -1", "setup", -1, -1, -1},
        Fields{"handler-start 12", "handler-start", 12, -1, 0},
        Fields{"write 22", "write", 22, -1, 0}, Fields{"write 22 x", "unknown", -1, -1, 0},
        Fields{"bogus 1 2", "unknown", -1, -1, 0}}) {
    Event e;
    fill_gpio_fields(c.line, e);
    EXPECT_EQ(e.kind, c.kind) << c.line;
    EXPECT_EQ(e.pin, c.pin) << c.line;
    EXPECT_EQ(e.level, c.level) << c.line;
    EXPECT_EQ(e.result, c.result) << c.line;
  }
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
  Event write = at(50 * kMs, "write");
  write.source = EventSource::kGpio;
  write.pin = 21;
  write.level = 5;  // any level other than 0 is high
  check.see(write);
  write.time_ns = 150 * kMs;  // after the time asked for: not counted
  write.level = 0;
  check.see(write);
  Event bytes = at(90 * kMs, "received");
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
