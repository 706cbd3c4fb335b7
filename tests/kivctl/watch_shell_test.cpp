// SPDX-License-Identifier: MIT
// kivctl watch while the launcher raises edges and sends, info, and a shell's
// sequence in one process.
#include <gtest/gtest.h>

#include "kivctl_run.h"

namespace kivtest {
namespace {

using kivsim::EventKind;
using kivsim::EventSource;

// The watched lines, without their times.
std::vector<std::string> watched(const LauncherRun& run) {
  std::vector<std::string> out;
  for (const std::string& line : program_lines(run))
    out.push_back(line.substr(line.find(' ') + 1));
  return out;
}

TEST(KivctlWatch, EdgesChunksAndNotificationsInOrder) {
  ScratchFile script("watch.script",
                     "wait 2000\nedge trigger 1\nwait 300\nedge trigger 0\nwait 300\n"
                     "send com1 hi\\r\\n\nwait 300\nnotify\nwait 300\nedge tune 1\n");
  LauncherRun run =
      run_kivctl({"--script", script.path()},
                 {"watch", "trigger", "tune", "com1", "light", "--count", "5", "--timeout", "30"});
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(watched(run), (std::vector<std::string>{"trigger 1", "trigger 0", "com1 \"hi\\r\\n\"",
                                                    "light notification", "tune 1"}))
      << run.trace_text();
}

TEST(KivctlWatch, TheLightControllersPortAndItsNotificationTogether) {
  // Watching com2 takes the port's callback from the library's notification
  // handler; the notification must still be told apart, by the library.
  ScratchFile script("watch.script", "wait 2000\nnotify\nwait 300\nsend com2 OK\n");
  LauncherRun run = run_kivctl({"--script", script.path()}, {"watch", "com2", "light", "--hex",
                                                             "--count", "3", "--timeout", "30"});
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(watched(run),
            (std::vector<std::string>{"com2 FF AA EE", "light notification", "com2 4F 4B"}))
      << run.trace_text();
}

TEST(KivctlWatch, JsonLinesWithTheWallClock) {
  ScratchFile script("watch.script", "wait 2000\nedge input 1\n");
  LauncherRun run = run_kivctl(
      {"--script", script.path()},
      {"watch", "input", "--json", "--time=realtime", "--count", "1", "--timeout", "30"});
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  std::vector<std::string> lines = program_lines(run);
  ASSERT_EQ(lines.size(), 1u) << run.trace_text();
  EXPECT_NE(lines[0].find("\"clock\":\"realtime\",\"level\":1,\"source\":\"input\""),
            std::string::npos)
      << lines[0];
  // The wall clock's seconds, not the monotonic clock's small count since boot.
  EXPECT_GT(std::stod(lines[0].substr(lines[0].find("\"time\":") + 7)), 1.6e9);
}

// A sequence in one process, which brings up only what its commands name.
TEST(KivctlShell, OneProcessForTheWholeSequence) {
  if (emulated())
    GTEST_SKIP() << "the shell's input comes through sh, which the emulator would not preload";
  ScratchFile input(
      "input.txt",
      "# a commissioning sequence\nout laser 1 do2 1\n\nlens set 1200\n"
      "light mode 7\nout nothing 1\ninfo\nget laser DO2 trigger\nget --json do2\nquit\n"
      "out alarm 1\n");
  LauncherRun run =
      run_kivctl_after({"--cpu-serial", KIV_FIRST_UPDATED_CPU}, "true", "shell < " + input.path());
  KIV_SKIP_WITHOUT_BOARD(run);
  // The refused line fails the shell, and the lines after it still run.
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  int setups = 0;
  for (const kivsim::Event& e : run.events)
    setups += e.source == EventSource::kGpio && e.kind == EventKind::kSetup ? 1 : 0;
  EXPECT_EQ(setups, 1) << run.trace_text();
  // Only the named lines moved, and only the light controller's mode frame went out.
  EXPECT_EQ(run.event_with("alarm (21) ->"), nullptr) << run.trace_text();
  EXPECT_EQ(run.event_with("mode alarm (21)"), nullptr) << run.trace_text();
  EXPECT_EQ(run.event_with("43 2D"), nullptr) << "a brightness frame\n" << run.trace_text();
  for (const char* line :
       {"board       updated device (CPU serial " KIV_FIRST_UPDATED_CPU ")",
        "light map   section->channel: 1->3 (variant), 2->2 (variant), 3->1 (variant), 4->4 "
        "(variant)",
        "pause       2 ms after each light controller write (variant)", " laser     13  out  1",
        " do2       27  out  1", " trigger   12  in   0", "laser=1 do2=1 trigger=0", "{\"do2\":1}"})
    EXPECT_TRUE(printed(run, line)) << "missing: " << line << "\n" << run.trace_text();
  EXPECT_TRUE(
      run.saw(EventSource::kI2c, EventKind::kTransfer, "write 18 [00 00 B0 04 00 00] -> ok"));
  EXPECT_TRUE(printed(run, "'nothing' is no output line", true));
  // Nothing after quit.
  EXPECT_EQ(run.event_with("alarm (21) -> 1"), nullptr);
}

// With /dev/com1 missing at set-up, /dev/com2 is the device's first slot:
// com1's commands refuse, naming the port, and never reach the light
// controller; com2's still reach it; the light's calls, which write to the
// second slot, refuse.
TEST(KivctlShell, PortsAreNamedByPathNotBySlot) {
  if (emulated())
    GTEST_SKIP() << "the port is removed by a shell, which the emulator would not preload";
  ScratchFile input("input.txt",
                    "serial send com1 hi\nwatch com1 --count 1 --timeout 1\n"
                    "serial send com2 --hex '39 2D 01 0D 0A'\nlight section 1 on\n");
  LauncherRun run = run_kivctl_after({}, "rm /dev/com1", "shell --setup < " + input.path());
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  for (const char* line :
       {"kivctl: line 1: serial send: /dev/com1 could not be opened",
        "kivctl: line 2: watch: cannot open /dev/com1",
        "kivctl: line 4: /dev/com2 is open in the first port slot (/dev/com1 was missing at "
        "set-up)"})
    EXPECT_TRUE(printed(run, line, true)) << "missing: " << line << "\n" << run.trace_text();
  EXPECT_EQ(run.event_with("<- 68"), nullptr) << "com1's bytes reached com2\n" << run.trace_text();
  EXPECT_NE(run.event_with("39 2D 01 0D 0A"), nullptr) << run.trace_text();
}

// Passed through, the program's standard output is the launcher's, unchanged
// (the log on standard error), and its standard input the launcher's.
TEST(KivctlShell, ThePassedThroughTerminalIsTheProgramsOwn) {
  std::vector<std::string> words = {"--pass-through"};
  for (const std::string& w : built_program(kivctl_path()))
    words.push_back(w);
  words.insert(words.end(), {"info", "--json"});
  LauncherRun info = run_traced(words);
  KIV_SKIP_WITHOUT_BOARD(info);
  EXPECT_EQ(info.status, 0) << info.err;
  ASSERT_FALSE(info.out.empty()) << info.err;
  EXPECT_EQ(info.out.front(), '{') << info.out;
  EXPECT_EQ(info.out.substr(info.out.size() - 2), "}\n") << info.out;
  EXPECT_EQ(info.out.find('\n'), info.out.size() - 1) << "one line: " << info.out;

  words.resize(words.size() - 2);
  words.push_back("shell");
  LauncherRun shell = run_traced(words, "out laser 1\nout alarm 1\n");
  KIV_SKIP_WITHOUT_BOARD(shell);
  EXPECT_EQ(shell.status, 0) << shell.err;
  EXPECT_NE(shell.event_with("laser (13) -> 1"), nullptr) << shell.trace_text();
  EXPECT_NE(shell.event_with("alarm (21) -> 1"), nullptr) << shell.trace_text();
}

// A source named in capitals is the same source: once its watch ends, no
// callback of it is left to run on the next edge (which found freed memory).
TEST(KivctlShell, AWatchNamedInCapitalsLeavesNoCallbackBehind) {
  ScratchFile script("edges.script", "wait 2500\nedge input 1\nwait 1500\nedge input 0\n");
  std::vector<std::string> words = {"--pass-through", "--script", script.path()};
  for (const std::string& w : built_program(kivctl_path()))
    words.push_back(w);
  words.push_back("shell");
  LauncherRun run =
      run_traced(words, "watch INPUT --count 1 --timeout 20\nwatch Tune --timeout 3\n");
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.err << run.trace_text();
  EXPECT_NE(run.out.find(" input 1\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(" input 0"), std::string::npos) << run.out;
}

// Two tools that open one port at the same moment: at least one gives way,
// naming the other.
TEST(KivctlShell, TwoToolsOnOnePortAtOnce) {
  if (emulated())
    GTEST_SKIP() << "the two tools are started by a shell, which the emulator would not preload";
  const std::string tool = shell_preload() + kivctl_path();
  const std::string both =
      tool + " watch com1 --timeout 1 & " + tool + " serial listen com1 --timeout 1 & wait";
  for (int i = 0; i < 3; ++i) {
    LauncherRun run = run_kivctl_after({}, both, "info");
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_TRUE(printed(run, "/dev/com1 is held by process", true)) << run.trace_text();
  }
}

// setup() in a shell starts from a closed library, as an application's does:
// the light controller's port an earlier command opened (in the second slot)
// is closed first, never opened a second time beside it, and with /dev/com1
// missing the light calls after it refuse, as the library's own would fail.
TEST(KivctlShell, ASetUpAfterALightCommandStartsFromAClosedLibrary) {
  if (emulated())
    GTEST_SKIP() << "the port is removed by a shell, which the emulator would not preload";
  ScratchFile input("input.txt", "light on\ndoctor --active\nlight off\n");
  LauncherRun run = run_kivctl_after({}, "rm /dev/com1", "shell < " + input.path());
  KIV_SKIP_WITHOUT_BOARD(run);
  std::vector<std::string> log = program_lines(run, true);
  std::vector<std::string> opens;
  for (const std::string& line : log) {
    if (line.find("serial index") != std::string::npos)
      opens.push_back(line.substr(0, line.find("  fd")));
    if (line.find("delete") != std::string::npos)
      opens.push_back("closed");
  }
  EXPECT_EQ(opens,
            (std::vector<std::string>{"serial index  1", "closed", "serial index  0", "closed"}))
      << run.trace_text();
  EXPECT_TRUE(printed(run, "kivctl: line 3: /dev/com2 is open in the first port slot", true))
      << run.trace_text();
}

}  // namespace
}  // namespace kivtest
