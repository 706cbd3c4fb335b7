// SPDX-License-Identifier: MIT
// The board's lines outlive a program: two programs in turn under one
// launcher, the second finding what the first and the launcher's commands
// left, read from the run's trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "preload.h"
#include "run_launcher.h"

namespace kivtest {
namespace {

using kivsim::Event;
using kivsim::EventKind;
using kivsim::EventSource;

std::vector<const Event*> events_of(const LauncherRun& run, EventKind kind) {
  std::vector<const Event*> out;
  for (const Event& e : run.events)
    if (e.source == EventSource::kGpio && e.kind == kind)
      out.push_back(&e);
  return out;
}

// The first program drives the laser (the level written before the line
// becomes an output) and writes do1 while it is an input; the launcher sets
// the input line while no program is connected; the second program reads
// them all, then makes do1 an output.
TEST(LauncherLines, TheNextProgramFindsTheLinesAsTheBoardHasThem) {
  if (!std::string(KIV_TEST_EMULATOR).empty())
    GTEST_SKIP() << "the programs are started by a shell, which the emulator would not preload";
  const long scale = KIV_TIMING_MARGIN_SCALE;
  // The launcher puts a sanitizer's runtime ahead of its preload for the
  // program it starts, the shell here, not for the programs the shell starts.
  std::string runtimes;
  for (const std::string& r : kivsim::sanitizer_runtimes(KIV_GPIO_LINES_PROBE_PATH))
    runtimes += r + ":";
  ScratchFile script("lines.script", "wait " + std::to_string(400 * scale) + "\nlevel input 1\n");
  const std::string between = std::to_string(1.2 * static_cast<double>(scale));
  const std::string programs =
      (runtimes.empty() ? "" : "export LD_PRELOAD=" + runtimes + "$LD_PRELOAD; ") +
      "\"$@\" write 13 1 output 13 input 22 write 22 1; sleep " + between +
      "; \"$@\" read 13 read 22 read 17 output 22 read 22";
  std::vector<std::string> args = {"--script", script.path(), "sh", "-c", programs, "sh"};
  for (const std::string& word : built_program(KIV_GPIO_LINES_PROBE_PATH))
    args.push_back(word);
  LauncherRun run = run_traced(args, "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  ASSERT_EQ(run.status, 0) << run.out << run.err;

  // The level came between the two programs: held, then handed over.
  const size_t closed = run.index_of("the stand-in closed its connection");
  const size_t held =
      run.index_of("level input (17) -> 1   (held for the next program that connects)");
  const size_t handed = run.index_of("level input (17) -> 1   (held: handed to the stand-in");
  ASSERT_NE(held, std::string::npos) << "the first program was still connected at the level\n"
                                     << run.trace_text();
  EXPECT_LT(closed, held) << run.trace_text();
  ASSERT_NE(handed, std::string::npos) << run.trace_text();
  EXPECT_LT(held, handed);
  EXPECT_FALSE(run.events[held].sent);
  EXPECT_TRUE(run.events[held].changes.empty()) << "no program saw the level yet";
  EXPECT_TRUE(run.events[handed].sent);
  EXPECT_NE(run.index_of("the board's lines handed to the stand-in that connected: laser (13): "
                         "output, latch 1; do1 (22): input, latch 1; input (17): held at 1"),
            std::string::npos)
      << run.trace_text();

  // The second program reads the laser driven, do1 not yet (an input keeps
  // its own level), the input the launcher set, and do1 at its latch's level
  // as soon as it is an output.
  size_t after = handed;
  for (const char* read : {"13=1", "22=0", "17=1", "22=1"}) {
    const Event* e = run.event(EventSource::kProgram, EventKind::kOut, read);
    ASSERT_NE(e, nullptr) << read << "\n" << run.trace_text();
    const size_t at = static_cast<size_t>(e - run.events.data());
    EXPECT_GT(at, after) << read;
    after = at;
  }

  // The record holds the first program's two writes and nothing of the
  // hand-over: no write at the opposite level, the lines' levels as driven.
  const std::vector<const Event*> writes = events_of(run, EventKind::kWrite);
  ASSERT_EQ(writes.size(), 2u) << run.trace_text();
  EXPECT_EQ(writes[0]->text, "laser (13) -> 1");
  EXPECT_EQ(writes[1]->text, "do1 (22) -> 1");
  EXPECT_EQ(events_of(run, EventKind::kSetup).size(), 2u);
  EXPECT_TRUE(run.saw(EventSource::kSim, EventKind::kNote, "outputs: laser (13)=1, do1 (22)=1"))
      << run.trace_text();
  const kivsim::DeviceState state = run.end_state();
  EXPECT_EQ(state.output[13], 1);
  EXPECT_EQ(state.output[22], 1);
  EXPECT_EQ(state.input[17], 1);
  EXPECT_EQ(state.edges_raised, 0);
}

}  // namespace
}  // namespace kivtest
