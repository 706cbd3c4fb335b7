// SPDX-License-Identifier: MIT
// The faults the launcher plays on the board's lines, as a program meets
// them: a serial peer that hangs up and comes back, noise from the light
// controller, a bouncing input.
#include <gtest/gtest.h>

#include "byte_text.h"
#include "run_launcher.h"

namespace kivtest {
namespace {

using kivsim::EventKind;
using kivsim::EventSource;

std::vector<std::string> probe_run(std::vector<std::string> launcher_args,
                                   const std::vector<std::string>& actions) {
  for (const std::string& word : built_program(probe_path()))
    launcher_args.push_back(word);
  launcher_args.insert(launcher_args.end(), actions.begin(), actions.end());
  return launcher_args;
}

std::vector<const kivsim::Event*> events_of(const LauncherRun& run, EventSource source,
                                            EventKind kind) {
  std::vector<const kivsim::Event*> out;
  for (const kivsim::Event& e : run.events)
    if (e.source == source && e.kind == kind)
      out.push_back(&e);
  return out;
}

TEST(LauncherFaults, APeerThatHangsUpEndsTheLineUntilANewOneIsOpened) {
  // Hang-up at 0.2 s, a new line at 0.6 s; the program writes before, during
  // and, having opened the port again, after.
  ScratchFile script("hangup.script",
                     "wait 200\nhangup com1\nsend com1 lost\nnotify\nhangup com2\nnotify\n"
                     "wait 400\nreconnect com1\nwait 400\nsend com1 hi\\r\\n\n");
  LauncherRun run =
      run_traced(probe_run({"--script", script.path()},
                           {"try-write1", "before\\r\\n", "sleep", "400", "try-write1", "during",
                            "sleep", "500", "close1", "try-write1", "after\\r\\n", "read1", "4"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const size_t before = run.out.find("com1 write ok");
  const size_t during = run.out.find("com1 write failed: Input/output error", before);
  const size_t after = run.out.find("com1 write ok", during);
  EXPECT_TRUE(before != std::string::npos && during != std::string::npos &&
              after != std::string::npos)
      << run.out;
  EXPECT_TRUE(run.has("com1 got 68 69 0D 0A")) << run.out;
  std::string received;
  for (const kivsim::Event* e : events_of(run, EventSource::kCom1, EventKind::kReceived))
    received += e->bytes;
  EXPECT_EQ(received, "before\r\nafter\r\n");
  for (const char* text :
       {"the peer hangs up", "a new line at /dev/com1",
        "-> \"lost\" (4 bytes)   (not sent: the peer has hung up)", "the light controller hangs up",
        "-> FF AA EE   hardware notification   (not sent: the light "
        "controller has hung up)"})
    EXPECT_NE(run.event_with(text), nullptr) << text << "\n" << run.trace_text();
  // The notification before the hang-up went out.
  EXPECT_NE(run.event(EventSource::kCom2, EventKind::kSent, "-> FF AA EE   hardware notification"),
            nullptr)
      << run.trace_text();
}

TEST(LauncherFaults, NoiseReachesTheProgramAsRecorded) {
  ScratchFile script("noise.script", "wait 300\nnoise com2 12\n");
  LauncherRun run = run_traced(probe_run({"--script", script.path()}, {"read2", "12"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const std::vector<const kivsim::Event*> sent =
      events_of(run, EventSource::kCom2, EventKind::kSent);
  ASSERT_EQ(sent.size(), 1u) << run.trace_text();
  ASSERT_EQ(sent[0]->bytes.size(), 12u);
  EXPECT_TRUE(run.has("com2 got " + kivsim::hex_bytes(sent[0]->bytes))) << run.out;
}

TEST(LauncherFaults, ABounceIsEdgesMillisecondsApartEndingAtItsLevel) {
  ScratchFile script("bounce.script", "wait 300\nbounce trigger 1 5\n");
  LauncherRun run = run_traced(probe_run({"--script", script.path()}, {"connect", "expect", "5"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const std::vector<const kivsim::Event*> edges =
      events_of(run, EventSource::kGpio, EventKind::kEdge);
  ASSERT_EQ(edges.size(), 5u) << run.trace_text();
  std::string levels;
  for (const kivsim::Event* e : edges) {
    EXPECT_EQ(e->pin, 12);
    EXPECT_TRUE(e->sent);
    levels += std::to_string(e->level);
  }
  EXPECT_EQ(levels, "10101");
  // A millisecond apart: the last at least 4 ms after the moment the first
  // was due, of which the first's own sending may have taken up to 2 ms on a
  // loaded machine under the emulator (2.8 ms seen); edges sent at once would
  // span well under one.
  const int64_t span_ns = edges.back()->time_ns - edges.front()->time_ns;
  EXPECT_GE(span_ns, 2 * 1000000);
  EXPECT_LT(span_ns, 500 * 1000000);
}

}  // namespace
}  // namespace kivtest
