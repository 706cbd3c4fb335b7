// SPDX-License-Identifier: MIT
// The launcher run on a small program, as a person runs it: what it records,
// what reaches the program, how the program is ended, and the terminal that
// shows the same record.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "run_launcher.h"
#include "terminal_log.h"

namespace kivtest {
namespace {

using kivsim::EventKind;
using kivsim::EventSource;

std::vector<std::string> probe(std::vector<std::string> prefix, std::vector<std::string> actions) {
  for (const std::string& word : built_program(probe_path()))
    prefix.push_back(word);
  prefix.insert(prefix.end(), actions.begin(), actions.end());
  return prefix;
}

struct Seen {
  EventSource source;
  EventKind kind;
  const char* text;
};

// Each of `seen` is an event of the run's trace.
void expect_events(const LauncherRun& run, std::initializer_list<Seen> seen) {
  for (const Seen& s : seen)
    EXPECT_TRUE(run.saw(s.source, s.kind, s.text))
        << "missing: " << kivsim::source_name(s.source) << " " << kivsim::kind_name(s.kind) << " "
        << s.text << "\n"
        << run.trace_text();
}

TEST(LauncherRun, GpioReportsAreShownByNameAndCommandsReachTheStandIn) {
  ScratchFile script("gpio.script",
                     "# raise the input, then set the trigger without an edge\n"
                     "wait 300\n"
                     "edge input 1\n"
                     "level trigger 0   # no edge\n");
  LauncherRun run =
      run_traced(probe({"--script", script.path()},
                       {"connect", "report", "setup 0", "report", "mode 22 1", "report",
                        "write 22 1", "report", "pull 17 1", "report", "isr 17 3 0", "report",
                        "write 13 7", "report", "bogus line", "expect", "2"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const EventSource gpio = EventSource::kGpio;
  expect_events(run,
                {{gpio, EventKind::kSetup, "setup ok"},
                 {gpio, EventKind::kMode, "mode do1 (22) OUTPUT"},
                 {gpio, EventKind::kWrite, "do1 (22) -> 1"},
                 {gpio, EventKind::kPull, "pull input (17) down"},
                 {gpio, EventKind::kIsr, "interrupt input (17) on both edges: ok"},
                 {gpio, EventKind::kWrite, "laser (13) -> 7"},
                 {gpio, EventKind::kUnknown, "unknown report \"bogus line\""},
                 {gpio, EventKind::kEdge, "edge input (17) -> 1"},
                 {EventSource::kProgram, EventKind::kOut, "got edge 17 1"},
                 {gpio, EventKind::kRead, "read input (17) = 1"},
                 {gpio, EventKind::kHandlerStart, "handler input (17) starts"},
                 {gpio, EventKind::kHandlerEnd, "handler input (17) ends"},
                 {gpio, EventKind::kLevel, "level trigger (12) -> 0"},
                 {EventSource::kProgram, EventKind::kOut, "got level 12 0"},
                 {EventSource::kSim, EventKind::kNote, "outputs: laser (13)=1, do1 (22)=1"},
                 {EventSource::kSim, EventKind::kNote, "gpio: 1 edges raised, 1 handlers run"}});
  const kivsim::Event* edge = run.event_with("edge input (17) -> 1");
  ASSERT_NE(edge, nullptr);
  EXPECT_EQ(edge->pin, 17);
  EXPECT_EQ(edge->level, 1);
  EXPECT_TRUE(edge->sent);
  // The script keeps its schedule from the program's start.
  EXPECT_GE(run.time_of("edge input (17)"), 0.3);
  EXPECT_LT(run.index_of("mode do1 (22)"), run.index_of("do1 (22) -> 1"));
  EXPECT_LT(run.index_of("got edge 17 1"), run.index_of("got level 12 0"));
  // The program ends with the lines where it left them, and the inputs
  // where the launcher's commands set them.
  const kivsim::DeviceState state = run.end_state();
  EXPECT_EQ(state.output[22], 1);
  EXPECT_EQ(state.output[13], 1);
  EXPECT_EQ(state.input[17], 1);
  EXPECT_EQ(state.input[12], 0);
  EXPECT_EQ(state.edges_raised, 1);
}

TEST(LauncherRun, LightControllerFramesAreDecodedAndPeersAnswer) {
  ScratchFile script("ports.script",
                     "wait 200\n"
                     "notify\n"
                     "send com1 ping\\r\\n\n");
  LauncherRun run = run_traced(
      probe({"--script", script.path()},
            {"write2", "C-\\x00\\x18\\r\\n", "write2", "2-1\\r\\n", "write2", "9-\\x01\\r\\n",
             // the argument byte 0x0A is not a line end
             "write2", "7-\\x0A\\r\\n", "write2", "A-\\x05\\r\\n", "write2", "C-\\x01", "sleep",
             "50", "write2", "\\xDF\\r\\n", "write2", "xy", "write2", "4-0\\r\\n", "write1",
             "hi\\x01\\r\\n", "read2", "3", "read1", "6"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const EventSource com2 = EventSource::kCom2;
  expect_events(
      run, {{com2, EventKind::kFrame, "<- 43 2D 00 18 0D 0A   brightness 24"},
            {com2, EventKind::kFrame, "<- 32 2D 31 0D 0A   channel 2 on"},
            {com2, EventKind::kFrame, "<- 39 2D 01 0D 0A   light on"},
            {com2, EventKind::kFrame, "<- 37 2D 0A 0D 0A   flash count 10"},
            {com2, EventKind::kFrame, "<- 41 2D 05 0D 0A   unknown command 41, argument 05"},
            {com2, EventKind::kFrame, "<- 43 2D 01 DF 0D 0A   brightness 479"},
            {com2, EventKind::kFrame, "<- 78 79   not a frame"},
            {com2, EventKind::kFrame, "<- 34 2D 30 0D 0A   channel 4 off"},
            {EventSource::kLight, EventKind::kState, "channel 2 off -> on"},
            {EventSource::kLight, EventKind::kState, "brightness 24 -> 479"},
            {EventSource::kCom1, EventKind::kReceived,
             "<- \"hi\\x01\\r\\n\" (5 bytes)   hex 68 69 01 0D 0A"},
            {com2, EventKind::kSent, "-> FF AA EE   hardware notification"},
            {EventSource::kCom1, EventKind::kSent, "-> \"ping\\r\\n\" (6 bytes)"},
            {EventSource::kProgram, EventKind::kOut, "com2 got FF AA EE"},
            {EventSource::kProgram, EventKind::kOut, "com1 got 70 69 6E 67 0D 0A"},
            {EventSource::kSim, EventKind::kNote,
             "com2: 8 frames received (2 unknown); com1: 5 bytes received"},
            {EventSource::kSim, EventKind::kNote,
             "light controller: channels on: 2; work mode 0; light on; flash count 10, time 0, 0 "
             "flashes; brightness 479"}});
  const kivsim::Event* frame = run.event_with("channel 2 on");
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->bytes, "2-1\r\n");
  EXPECT_EQ(frame->timing, kivsim::EventTiming::kArrival);
  const kivsim::Event* brighter = run.event_with("brightness 24 -> 479");
  ASSERT_NE(brighter, nullptr);
  EXPECT_EQ(brighter->light.brightness, 479);
  EXPECT_TRUE(brighter->light.channel_on[1]);
}

TEST(LauncherRun, ExitStatusIsTheProgramsAndQuitEndsIt) {
  LauncherRun exited = run_traced(probe({}, {"print", "bye", "exit", "3"}));
  KIV_SKIP_WITHOUT_BOARD(exited);
  EXPECT_EQ(exited.status, 3);
  expect_events(exited, {{EventSource::kProgram, EventKind::kOut, "bye"},
                         {EventSource::kSim, EventKind::kNote, "program exited with status 3"}});
  ASSERT_FALSE(exited.events.empty());
  EXPECT_EQ(exited.events.back().kind, EventKind::kExit);
  EXPECT_EQ(exited.events.back().result, 3);

  // Typed commands: a wait delays the quit; SIGTERM ends a program that obeys it.
  LauncherRun quit = run_traced(probe({}, {"hang"}), "wait 300\nquit\n");
  EXPECT_EQ(quit.status, 128 + 15) << quit.out;
  expect_events(quit, {{EventSource::kSim, EventKind::kNote, "quit: SIGTERM to the program"}});
  EXPECT_GE(quit.time_of("quit: SIGTERM"), 0.3);
  EXPECT_NE(quit.event_with("ended by signal 15"), nullptr) << quit.trace_text();

  // A program that ignores SIGTERM gets SIGKILL after the grace time.
  LauncherRun stubborn =
      run_traced(probe({"--grace", "400"}, {"ignore-term", "hang"}), "wait 300\nquit\n");
  EXPECT_EQ(stubborn.status, 128 + 9) << stubborn.out;
  EXPECT_NE(stubborn.event_with("the program is still running: SIGKILL"), nullptr)
      << stubborn.trace_text();
  EXPECT_GE(stubborn.time_of("still running: SIGKILL") - stubborn.time_of("quit: SIGTERM"), 0.39);
}

TEST(LauncherRun, ProgramFindsItsBoardIdentityConfigurationAndLibraries) {
  ScratchFile ini("ul.ini", "[LIGHT]\nsection_1 = 4\n");
  struct stat st;
  const bool host_had_ini = stat("/etc/ul-opx3000.ini", &st) == 0;
  LauncherRun run = run_traced(
      probe({"--ini", ini.path(), "--cpu-serial", "10000000abcdef01", "--lib-path", "/opt/x"},
            {"show-file", "/etc/ul-opx3000.ini", "show-file", "/proc/cpuinfo", "show-env",
             "LD_LIBRARY_PATH", "show-env", "KIV_SIM_GPIO_SOCKET", "print-partial", "no newline",
             "eprint", "to stderr"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  expect_events(run,
                {{EventSource::kProgram, EventKind::kOut, "file: [LIGHT]"},
                 {EventSource::kProgram, EventKind::kOut, "file: section_1 = 4"},
                 {EventSource::kProgram, EventKind::kOut, "file: Serial\t\t: 10000000abcdef01"},
                 {EventSource::kProgram, EventKind::kOut, "no newline"},
                 {EventSource::kProgram, EventKind::kErr, "to stderr"}});
  EXPECT_NE(run.event_with("env LD_LIBRARY_PATH=/opt/x"), nullptr) << run.trace_text();
  EXPECT_NE(run.event_with("env KIV_SIM_GPIO_SOCKET=/"), nullptr) << run.trace_text();
  // The host's own files stay untouched.
  EXPECT_EQ(stat("/etc/ul-opx3000.ini", &st) == 0, host_had_ini);

  // Without --lib-path the build's library folders come first.
  LauncherRun plain = run_traced(probe({}, {"show-env", "LD_LIBRARY_PATH"}));
  EXPECT_NE(plain.event_with("env LD_LIBRARY_PATH=/"), nullptr) << plain.trace_text();
  EXPECT_EQ(plain.event_with("(unset)"), nullptr);
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

  LauncherRun missing = run_traced({"/nonexistent/program"});
  KIV_SKIP_WITHOUT_BOARD(missing);
  EXPECT_EQ(missing.status, 127);
  EXPECT_NE(missing.event_with("cannot run /nonexistent/program"), nullptr) << missing.trace_text();

  // A bad typed command is shown and the rest still run; an edge with no
  // stand-in connected says so, and changes no line a program has seen: its
  // level is held for the next program that connects.
  LauncherRun typed = run_traced(probe({}, {"sleep", "500"}), "frob\nedge tune 1\n");
  EXPECT_EQ(typed.status, 0);
  expect_events(typed,
                {{EventSource::kSim, EventKind::kNote, "error: unknown command 'frob' (try help)"},
                 {EventSource::kGpio, EventKind::kEdge,
                  "edge tune (20) -> 1   (no GPIO stand-in connected: the edge is lost, its "
                  "level held for the next program that connects)"},
                 {EventSource::kSim, EventKind::kNote, "gpio: 0 edges raised, 0 handlers run"}});
  const kivsim::Event* unsent = typed.event_with("edge tune (20)");
  ASSERT_NE(unsent, nullptr);
  EXPECT_FALSE(unsent->sent);
  EXPECT_TRUE(unsent->changes.empty());

  // Started without standard input, the launcher takes no commands from its
  // own descriptors: what the program writes to com1 is shown, not obeyed.
  LauncherRun closed = run_launcher(probe({}, {"write1", "quit\\n", "sleep", "300"}), "", 30, 0);
  EXPECT_EQ(closed.status, 0) << closed.out;
  EXPECT_TRUE(closed.has(" com1  <- \"quit\\n\" (5 bytes)\n")) << closed.out;
  // Started without standard output, its event lines must not land on a port.
  EXPECT_EQ(run_launcher(probe({}, {"quiet1", "500"}), "", 30, 1).status, 0);
  EXPECT_FALSE(closed.has("SIGTERM"));
}

// The terminal shows the record the trace holds, one line per event in the
// same order: the time since the start ("~" after it: read by the launcher),
// the source's tag ("state" for the light controller's, "out"/"err" for the
// program's) and the text.
TEST(LauncherRun, TheTerminalShowsEachEventOfTheRecordOnALine) {
  ScratchFile script("terminal.script", "wait 200\nnotify\n");
  LauncherRun run = run_traced(
      probe({"--script", script.path()}, {"connect", "report", "write 21 1", "write2",
                                          "9-\\x01\\r\\n", "read2", "3", "eprint", "to stderr"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  std::vector<std::string> lines;
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  ASSERT_EQ(lines.size(), run.events.size()) << run.out << run.trace_text();
  kivsim::TerminalLog terminal(stdout, false);
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i], terminal.format(run.events[i])) << i;
  for (const char* pattern :
       {"^ +0\\.[0-9]{3}~ gpio  alarm \\(21\\) -> 1$",
        "^ +0\\.[0-9]{3}~ com2  <- 39 2D 01 0D 0A   light on$",
        "^ +0\\.[0-9]{3}~ state light off -> on$",
        "^ +0\\.[0-9]{3}  com2  -> FF AA EE   hardware "
        "notification$",
        "^ +0\\.[0-9]{3}~ err   to stderr$", "^ +0\\.[0-9]{3}  sim   exit status 0$"})
    EXPECT_TRUE(std::regex_search(run.out, std::regex(pattern, std::regex::multiline)))
        << pattern << "\n"
        << run.out;
}

}  // namespace
}  // namespace kivtest
