// SPDX-License-Identifier: MIT
// The launcher's one ordered stream of events, its readers and the reports'
// time stamps.
#include <gtest/gtest.h>

#include <thread>

#include "event_log.h"
#include "event_stream.h"
#include "terminal_log.h"

namespace kivsim {
namespace {

constexpr int64_t kMs = 1000000;

Event at(int64_t time_ns, const char* text) {
  Event e;
  e.time_ns = time_ns;
  e.text = text;
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
    EXPECT_EQ(seen[i].text, order[i]);
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

}  // namespace
}  // namespace kivsim
