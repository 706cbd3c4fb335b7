// SPDX-License-Identifier: MIT
// The launcher run on a small program, as a person runs it: what it shows,
// what reaches the program, and how the program is ended.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "run_launcher.h"

namespace kivtest {
namespace {

std::vector<std::string> probe(std::vector<std::string> prefix, std::vector<std::string> actions) {
  for (const std::string& word : built_program(probe_path()))
    prefix.push_back(word);
  prefix.insert(prefix.end(), actions.begin(), actions.end());
  return prefix;
}

TEST(LauncherRun, GpioReportsAreShownByRoleAndCommandsReachTheStandIn) {
  ScratchFile script("gpio.script",
                     "# raise the input, then set the trigger without an edge\n"
                     "wait 300\n"
                     "edge input 1\n"
                     "level trigger 0   # no edge\n");
  LauncherRun run =
      run_launcher(probe({"--script", script.path()},
                         {"connect", "report", "setup 0", "report", "mode 22 1", "report",
                          "write 22 1", "report", "pull 17 1", "report", "isr 17 3 0", "report",
                          "write 13 7", "report", "bogus line", "expect", "2"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* line :
       {" gpio  setup ok\n", " gpio  mode DO1 (22) OUTPUT\n", " gpio  DO1 (22) -> 1\n",
        " gpio  pull input (17) down\n", " gpio  interrupt input (17) on both edges: ok\n",
        " gpio  laser (13) -> 7\n", " gpio  unknown report \"bogus line\"\n",
        " gpio  edge input (17) -> 1\n", " out   got edge 17 1\n", " gpio  read input (17) = 1\n",
        " gpio  handler input (17) starts\n", " gpio  handler input (17) ends\n",
        " gpio  level trigger (12) -> 0\n", " out   got level 12 0\n",
        " sim   outputs: DO1 (22)=1, laser (13)=1\n",
        " sim   gpio: 1 edges raised, 1 handlers run\n"})
    EXPECT_TRUE(run.has(line)) << "missing: " << line << run.out;
  // The script keeps its schedule from the program's start.
  EXPECT_GE(run.time_of("gpio  edge input"), 0.3);
  EXPECT_LT(run.pos("mode DO1 (22)"), run.pos("DO1 (22) -> 1"));
  EXPECT_LT(run.pos("got edge 17 1"), run.pos("got level 12 0"));
}

TEST(LauncherRun, LightControllerFramesAreDecodedAndPeersAnswer) {
  ScratchFile script("ports.script",
                     "wait 200\n"
                     "notify\n"
                     "send com1 ping\\r\\n\n");
  LauncherRun run = run_launcher(
      probe({"--script", script.path()},
            {"write2", "C-\\x00\\x18\\r\\n", "write2", "2-1\\r\\n", "write2", "9-\\x01\\r\\n",
             // the argument byte 0x0A is not a line end
             "write2", "7-\\x0A\\r\\n", "write2", "A-\\x05\\r\\n", "write2", "C-\\x01", "sleep",
             "50", "write2", "\\xDF\\r\\n", "write2", "xy", "write2", "4-0\\r\\n", "write1",
             "hi\\x01\\r\\n", "read2", "3", "read1", "6"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* line :
       {" com2  <- 43 2D 00 18 0D 0A   brightness 24\n",
        " com2  <- 32 2D 31 0D 0A   channel 2 on\n", " com2  <- 39 2D 01 0D 0A   light on\n",
        " com2  <- 37 2D 0A 0D 0A   flash count 10\n",
        " com2  <- 41 2D 05 0D 0A   unknown command 41, argument 05\n",
        " com2  <- 43 2D 01 DF 0D 0A   brightness 479\n", " com2  <- 78 79   not a frame\n",
        " com2  <- 34 2D 30 0D 0A   channel 4 off\n", " state channel 2 off -> on\n",
        " state brightness 24 -> 479\n",
        " com1  <- \"hi\\x01\\r\\n\" (5 bytes)   hex 68 69 01 0D 0A\n",
        " com2  -> FF AA EE   hardware notification\n", " com1  -> \"ping\\r\\n\" (6 bytes)\n",
        " out   com2 got FF AA EE\n", " out   com1 got 70 69 6E 67 0D 0A\n",
        " sim   com2: 8 frames received (2 unknown); com1: 5 bytes received\n",
        " sim   light controller: channels on: 2; work mode 0; light on; flash count 10, time 0, 0 "
        "flashes; brightness 479\n"})
    EXPECT_TRUE(run.has(line)) << "missing: " << line << run.out;
}

TEST(LauncherRun, ExitStatusIsTheProgramsAndQuitEndsIt) {
  LauncherRun exited = run_launcher(probe({}, {"print", "bye", "exit", "3"}));
  KIV_SKIP_WITHOUT_BOARD(exited);
  EXPECT_EQ(exited.status, 3);
  EXPECT_TRUE(exited.has(" out   bye\n"));
  EXPECT_TRUE(exited.has(" sim   program exited with status 3\n")) << exited.out;

  // Typed commands: a wait delays the quit; SIGTERM ends a program that obeys it.
  LauncherRun quit = run_launcher(probe({}, {"hang"}), "wait 300\nquit\n");
  EXPECT_EQ(quit.status, 128 + 15) << quit.out;
  EXPECT_TRUE(quit.has(" sim   quit: SIGTERM to the program\n")) << quit.out;
  EXPECT_GE(quit.time_of("quit: SIGTERM"), 0.3);
  EXPECT_TRUE(quit.has("ended by signal 15"));

  // A program that ignores SIGTERM gets SIGKILL after the grace time.
  LauncherRun stubborn =
      run_launcher(probe({"--grace", "400"}, {"ignore-term", "hang"}), "wait 300\nquit\n");
  EXPECT_EQ(stubborn.status, 128 + 9) << stubborn.out;
  EXPECT_TRUE(stubborn.has("the program is still running: SIGKILL")) << stubborn.out;
  EXPECT_GE(stubborn.time_of("still running: SIGKILL") - stubborn.time_of("quit: SIGTERM"), 0.39);
}

TEST(LauncherRun, ProgramFindsItsBoardIdentityConfigurationAndLibraries) {
  ScratchFile ini("ul.ini", "[LIGHT]\nsection_1 = 4\n");
  struct stat st;
  const bool host_had_ini = stat("/etc/ul-opx3000.ini", &st) == 0;
  LauncherRun run = run_launcher(
      probe({"--ini", ini.path(), "--cpu-serial", "10000000abcdef01", "--lib-path", "/opt/x"},
            {"show-file", "/etc/ul-opx3000.ini", "show-file", "/proc/cpuinfo", "show-env",
             "LD_LIBRARY_PATH", "show-env", "KIV_SIM_GPIO_SOCKET", "print-partial", "no newline",
             "eprint", "to stderr"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(run.has(" out   file: [LIGHT]\n")) << run.out;
  EXPECT_TRUE(run.has(" out   file: section_1 = 4\n"));
  EXPECT_TRUE(run.has(" out   file: Serial\t\t: 10000000abcdef01\n"));
  EXPECT_TRUE(run.has(" out   env LD_LIBRARY_PATH=/opt/x"));
  EXPECT_TRUE(run.has(" out   env KIV_SIM_GPIO_SOCKET=/"));
  EXPECT_TRUE(run.has(" out   no newline\n"));
  EXPECT_TRUE(run.has(" err   to stderr\n"));
  // The host's own files stay untouched.
  EXPECT_EQ(stat("/etc/ul-opx3000.ini", &st) == 0, host_had_ini);

  // Without --lib-path the build's library folders come first.
  LauncherRun plain = run_launcher(probe({}, {"show-env", "LD_LIBRARY_PATH"}));
  EXPECT_TRUE(plain.has(" out   env LD_LIBRARY_PATH=/")) << plain.out;
  EXPECT_FALSE(plain.has("(unset)"));
}

TEST(LauncherRun, FaultsAreReportedNotRun) {
  ScratchFile bad("bad.script", "wait 10\nedge input 2\n");
  LauncherRun script = run_launcher(probe({"--script", bad.path()}, {"print", "ran"}));
  EXPECT_EQ(script.status, 2);
  EXPECT_NE(script.err.find("bad.script:2: level must be 0 or 1"), std::string::npos) << script.err;
  EXPECT_FALSE(script.has("ran"));
  ScratchFile output("output.script", "level alarm 1\n");
  LauncherRun on_output = run_launcher(probe({"--script", output.path()}, {"print", "ran"}));
  EXPECT_EQ(on_output.status, 2);
  EXPECT_NE(
      on_output.err.find("output.script:1: alarm (21) is an output: edge and level set inputs"),
      std::string::npos)
      << on_output.err;

  EXPECT_EQ(run_launcher({"--frobnicate", probe_path()}).status, 2);
  EXPECT_EQ(run_launcher({"--cpu-serial", "xyz", probe_path()}).status, 2);
  EXPECT_EQ(run_launcher({}).status, 2);

  LauncherRun missing = run_launcher({"/nonexistent/program"});
  KIV_SKIP_WITHOUT_BOARD(missing);
  EXPECT_EQ(missing.status, 127);
  EXPECT_TRUE(missing.has("cannot run /nonexistent/program")) << missing.out;

  // A bad typed command is shown and the rest still run; an edge with no
  // stand-in connected says it was not sent.
  LauncherRun typed = run_launcher(probe({}, {"sleep", "500"}), "frob\nedge tune 1\n");
  EXPECT_EQ(typed.status, 0);
  EXPECT_TRUE(typed.has(" sim   error: unknown command 'frob' (try help)\n")) << typed.out;
  EXPECT_TRUE(typed.has("edge tune (20) -> 1   (not sent: no GPIO stand-in connected)"));
  EXPECT_TRUE(typed.has(" sim   gpio: 0 edges raised, 0 handlers run\n")) << typed.out;

  // Started without standard input, the launcher takes no commands from its
  // own descriptors: what the program writes to com1 is shown, not obeyed.
  LauncherRun closed = run_launcher(probe({}, {"write1", "quit\\n", "sleep", "300"}), "", 30, 0);
  EXPECT_EQ(closed.status, 0) << closed.out;
  EXPECT_TRUE(closed.has(" com1  <- \"quit\\n\" (5 bytes)\n")) << closed.out;
  // Started without standard output, its event lines must not land on a port.
  EXPECT_EQ(run_launcher(probe({}, {"quiet1", "500"}), "", 30, 1).status, 0);
  EXPECT_FALSE(closed.has("SIGTERM"));
}

}  // namespace
}  // namespace kivtest
