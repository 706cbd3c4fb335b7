// SPDX-License-Identifier: MIT
// How kivctl behaves around its commands: where the library's log lines go,
// a reader that goes away, Ctrl-C in the middle, a reader that stops reading.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kivctl_run.h"

namespace kivtest {
namespace {

// The library's log lines stay on standard error, never standard output, and
// --quiet (before or after the command's words) keeps them off it; the
// tool's failures are still said.
TEST(KivctlManners, TheLibrarysLogLinesAndQuiet) {
  const struct {
    std::vector<std::string> args;
    int status;
    bool log_shown;         // the library's "serial index" line on standard error
    const char* complaint;  // a line of the tool's on standard error, or ""
  } cases[] = {
      {{"serial", "send", "com1", "hi"}, 0, true, ""},
      {{"--quiet", "serial", "send", "com1", "hi"}, 0, false, ""},
      {{"serial", "send", "com1", "hi", "-q"}, 0, false, ""},
      {{"-q", "lens", "set", "46001"}, 2, false, "kivctl: lens set: VALUE 46001 is not in range"},
      {{"-q", "lens", "get"}, 1, false, "kivctl: lens get: the lens controller did not answer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    ScratchFile script("nack.script", "lens nack\n");
    LauncherRun run = run_kivctl({"--script", script.path()}, c.args);
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(program_lines(run), std::vector<std::string>{}) << run.trace_text();
    EXPECT_EQ(printed(run, "serial index", true), c.log_shown) << run.trace_text();
    EXPECT_EQ(printed(run, "[Liquid]", true), false) << run.trace_text();
    if (c.complaint[0] != '\0') {
      EXPECT_TRUE(printed(run, c.complaint, true)) << run.trace_text();
    }
  }
}

// The tool's own lines on standard error other than its "watching" notice.
std::vector<std::string> complaints(const LauncherRun& run) {
  std::vector<std::string> lines;
  for (const std::string& line : program_lines(run, true))
    if (line.rfind("kivctl: ", 0) == 0 && line.rfind("kivctl: watching", 0) != 0)
      lines.push_back(line);
  return lines;
}

// `shell` run by /bin/sh under the launcher, with kivctl's path for KIVCTL.
LauncherRun run_shell(const std::vector<std::string>& launcher, std::string shell) {
  for (size_t at; (at = shell.find("KIVCTL")) != std::string::npos;)
    shell.replace(at, 6, kivctl_path());
  std::vector<std::string> words = launcher;
  words.insert(words.end(), {"/bin/sh", "-c", shell_preload() + shell});
  return run_traced(words);
}

// -q on a shell's line quiets that line only.
TEST(KivctlManners, QuietOnAShellsLineIsForThatLine) {
  if (emulated())
    GTEST_SKIP() << "the shell's input is a file, which the emulator would not preload";
  ScratchFile input("input.txt", "serial send com1 one -q\nserial send com1 two\n");
  LauncherRun run = run_kivctl_after({}, "true", "shell < " + input.path());
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.err;
  size_t opened = 0;
  for (const std::string& line : program_lines(run, true))
    opened += line.find("serial index") != std::string::npos;
  EXPECT_EQ(opened, 1u) << "the second line's log is shown\n" << run.trace_text();
}

// A watch piped into head ends at the next event after head has gone, with
// exit status 0 and no complaint.
TEST(KivctlManners, AWatchPipedIntoHeadEndsCleanly) {
  if (emulated())
    GTEST_SKIP() << "the pipe is made by a shell, which the emulator would not preload";
  ScratchFile script("chunks.script",
                     "wait 800\nsend com1 one\\r\\n\nwait 300\nsend com1 two\\r\\n\nwait 300\n"
                     "send com1 three\\r\\n\nwait 300\nsend com1 four\\r\\n\n");
  for (const char* command : {"serial listen com1 --hex", "watch com1 --json"}) {
    SCOPED_TRACE(command);
    LauncherRun run =
        run_shell({"--script", script.path()},
                  std::string("{ KIVCTL ") + command + "; echo status=$? >&2; } | head -n 1");
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(program_lines(run).size(), 1u) << run.trace_text();
    EXPECT_TRUE(printed(run, "status=0", true)) << run.trace_text();
    EXPECT_EQ(complaints(run), std::vector<std::string>{}) << run.trace_text();
    // It ended at the next chunk, not when the peer fell silent.
    EXPECT_EQ(run.event_with("four"), nullptr) << run.trace_text();
  }
}

// Ctrl-C (or SIGTERM) while the light waits for its automatic switch-off, or
// while it is being switched on, switches it off at once, and the tool ends
// without the light left on.
TEST(KivctlManners, CtrlCDuringAutoOffSwitchesTheLightOff) {
  if (emulated())
    GTEST_SKIP() << "the signal comes from a shell, which the emulator would not preload";
  // A pause of 400 ms after each frame: the signal comes while the light is
  // switched on (its work mode first, then the light).
  ScratchFile slow("slow.ini", "[CMD]\ntimeout_ns = 400\n");
  const struct {
    const char* when;
    std::vector<std::string> launcher;
    const char* signal;
    const char* wait;
  } cases[] = {
      {"waiting", {}, "INT", "1"},
      {"switching on", {"--ini", slow.path()}, "TERM", "0.6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    LauncherRun run =
        run_shell(c.launcher, std::string("KIVCTL light on --auto-off & p=$!; sleep ") + c.wait +
                                  "; kill -" + c.signal + " $p; wait $p; echo status=$? >&2");
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_TRUE(printed(run, "status=0", true)) << run.trace_text();
    const kivsim::Event* on = run.event_with("39 2D 01 0D 0A");
    const kivsim::Event* off = run.event_with("39 2D 00 0D 0A");
    ASSERT_NE(on, nullptr) << run.trace_text();
    ASSERT_NE(off, nullptr) << "the light was left on\n" << run.trace_text();
    // Well before the automatic switch-off, 2.9 s after the light came on.
    EXPECT_LT(off->time_ns - on->time_ns, 2'000'000'000) << run.trace_text();
    EXPECT_TRUE(printed(run, "stopped early; the light is off", true)) << run.trace_text();
  }
}

// Without standard input, the terminal leaves at once: no port takes the
// keyboard's descriptor number, so nothing the port receives goes back out.
TEST(KivctlManners, ATerminalWithoutInputLeavesAtOnce) {
  if (emulated())
    GTEST_SKIP() << "the descriptor is closed by a shell, which the emulator would not preload";
  ScratchFile script("talk.script", "wait 300\nsend com1 HELLO\\r\\n\n");
  LauncherRun run =
      run_shell({"--script", script.path()}, "KIVCTL serial term com1 <&-; echo status=$? >&2");
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_TRUE(printed(run, "status=0", true)) << run.trace_text();
  EXPECT_FALSE(printed(run, "fd  0", true)) << run.trace_text();
  EXPECT_EQ(run.event_with("<- \"HELLO"), nullptr) << run.trace_text();
}

// An output that cannot be written is a failure, said once; only a reader
// that went away is a normal end.
TEST(KivctlManners, AnOutputThatCannotBeWrittenFails) {
  if (emulated())
    GTEST_SKIP() << "the output is redirected by a shell, which the emulator would not preload";
  ScratchFile script("chunk.script", "wait 500\nsend com1 hi\\r\\n\n");
  LauncherRun run = run_shell({"--script", script.path()},
                              "KIVCTL watch com1 --count 1 > /dev/full; echo status=$? >&2");
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_TRUE(printed(run, "status=1", true)) << run.trace_text();
  EXPECT_EQ(
      complaints(run),
      std::vector<std::string>{"kivctl: the results could not be written: No space left on device"})
      << run.trace_text();
}

// A reader that stops reading costs a bounded memory: what does not fit is
// counted and said at the end, with exit status 1.
TEST(KivctlManners, AReaderThatStopsReadingIsToldWhatWasDropped) {
  if (emulated())
    GTEST_SKIP() << "the pipe is made by a shell, which the emulator would not preload";
  std::string flood = "wait 500\n";
  for (int i = 0; i < 120; ++i)
    flood += "noise com1 4096\n";
  ScratchFile script("flood.script", flood);
  LauncherRun run = run_shell({"--script", script.path()},
                              "{ KIVCTL serial listen com1 --timeout 3; echo status=$? >&2; } | "
                              "{ sleep 4; echo shown=$(wc -c) >&2; }");
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_TRUE(printed(run, "status=1", true)) << run.trace_text();
  const std::vector<std::string> said = complaints(run);
  ASSERT_EQ(said.size(), 1u) << run.trace_text();
  const std::string& line = said[0];
  EXPECT_NE(line.find("serial listen: "), std::string::npos) << line;
  EXPECT_NE(line.find("dropped: the output was not read as fast as they came"), std::string::npos)
      << line;
  // Every byte is either shown (what waited in the queue at the time-out
  // too) or counted as dropped.
  long shown = -1, dropped = -1;
  for (const std::string& l : program_lines(run, true))
    if (l.rfind("shown=", 0) == 0)
      shown = std::atol(l.c_str() + 6);
  const size_t bytes = line.find(" serial bytes");
  if (bytes != std::string::npos)
    dropped = std::atol(line.c_str() + line.rfind('(', bytes) + 1);
  EXPECT_EQ(shown + dropped, 120 * 4096) << run.trace_text();
}

}  // namespace
}  // namespace kivtest
