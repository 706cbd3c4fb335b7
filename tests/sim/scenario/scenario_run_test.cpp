// SPDX-License-Identifier: MIT
// Scenarios and the trace, run through the launcher on the sample inspection
// application: a scenario that holds, one whose wrong expectation is caught,
// files refused before the program starts, and the trace's order.
#include <gtest/gtest.h>

#include <algorithm>

#include "run_launcher.h"

namespace kivtest {
namespace {

std::vector<std::string> with_scenario(const std::string& scenario,
                                       std::vector<std::string> before = {}) {
  before.push_back("--scenario");
  before.push_back(scenario);
  for (const std::string& word : built_program(KIV_INSPECTION_PATH))
    before.push_back(word);
  return before;
}

TEST(ScenarioRun, TheSampleApplicationPassesItsScenario) {
  LauncherRun run = run_launcher(with_scenario(KIV_SCENARIO_DIR "/passing.json"), "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(run.has("scenario " KIV_SCENARIO_DIR "/passing.json: all 13 expectations held"))
      << run.out;
  EXPECT_EQ(run.err, "");
}

TEST(ScenarioRun, AWrongExpectationFailsNamingItsTimeAndWhatWasSeen) {
  LauncherRun run = run_launcher(with_scenario(KIV_SCENARIO_DIR "/wrong_expectation.json"), "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  const std::string prefix = "kiv-sim-run: scenario " KIV_SCENARIO_DIR "/wrong_expectation.json: ";
  for (const std::string& message :
       {prefix + "expect[1] \"still green\": expected strip shows 00ff00 on every LED at 6.000 s, "
                 "but it showed 9 LEDs: ff0000 x9 (rendered at ",
        prefix + "expect[2]: expected the program exits with status 0, but it exited with 1\n",
        prefix + "2 of 3 expectations did not hold\n"})
    EXPECT_NE(run.err.find(message), std::string::npos) << message << "\n" << run.err;
  EXPECT_EQ(run.err.find("expect[0]"), std::string::npos) << "expect[0] held: " << run.err;
}

TEST(ScenarioRun, StartSettingsReachTheBoardAndTheEndStopsTheProgram) {
  // A strip that cannot start is never rendered; "end" ends a program that
  // waits for triggers with SIGTERM.
  ScratchFile file("settings.json", R"({"settings": {"strip_init_result": -3, "end": 1500},
      "expect": [{"at": 1400, "strip": "0000ff"}, {"exit": 143}]})");
  LauncherRun run = run_traced(with_scenario(file.path()), "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  const kivsim::Event* init = run.event_with("start failed (-3)");
  ASSERT_NE(init, nullptr) << run.trace_text();
  EXPECT_EQ(init->kind, kivsim::EventKind::kInit);
  EXPECT_EQ(init->result, -3);
  EXPECT_NE(run.err.find(": expect[0]: expected strip shows 0000ff on every LED at 1.400 s, but "
                         "the strip was never rendered\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("1 of 2 expectations did not hold"), std::string::npos) << run.err;
}

TEST(ScenarioRun, AMalformedFileIsRefusedBeforeTheProgramStarts) {
  struct Case {
    const char* content;
    const char* message;
  };
  const Case cases[] = {
      {"{\"expect\": [\n  {\"exit\": 0},\n  {\"exit\" 1}\n]}",
       "parse error at line 3, column 11: syntax error"},
      {"{\"expect\": [{\"exit\": 0}], \"actoins\": []}", "the file: unknown key \"actoins\""},
      {"{\"expect\": []}", "expect: must be an array of at least one expectation"},
      {"{\"actions\": [{\"at\": 10, \"do\": \"edge nowhere 1\"}], \"expect\": [{\"exit\": 0}]}",
       "actions[0].do: "},
      {"{\"actions\": [{\"at\": -5, \"do\": \"notify\"}], \"expect\": [{\"exit\": 0}]}",
       "actions[0].at: must be a whole number of milliseconds"},
      {"{\"expect\": [{\"exit\": 0}, {\"at\": 100, \"line\": \"alarm\"}]}",
       "expect[1]: a line needs its \"level\""},
      {"{\"expect\": [{\"by\": 100, \"strip\": \"00ff00\"}]}",
       "expect[0]: a state is expected \"at\" a time (not \"by\")"},
      {"{\"expect\": [{\"at\": 100, \"com1\": \"OK\"}]}",
       "expect[0]: bytes and frames are expected \"by\" a time (not \"at\")"},
      {"{\"expect\": [{\"at\": 100, \"strip\": \"green\"}]}",
       "expect[0].strip: must be a colour of 6 hex digits"},
      {"{\"expect\": [{\"at\": 100, \"light\": {\"lamp\": true}}]}",
       "expect[0].light: unknown key \"lamp\""},
      {"{\"settings\": {\"cpu_serial\": \"12\"}, \"expect\": [{\"exit\": 0}]}",
       "settings.cpu_serial: must be 16 hex digits"},
  };
  for (const Case& c : cases) {
    ScratchFile file("bad.json", c.content);
    LauncherRun run = run_traced(with_scenario(file.path()));
    EXPECT_EQ(run.status, 2) << c.content;
    EXPECT_NE(run.err.find("kiv-sim-run: scenario " + file.path() + ": " + c.message),
              std::string::npos)
        << c.content << "\n"
        << run.err;
    EXPECT_TRUE(run.events.empty()) << "the program ran: " << run.trace_text();
  }
}

// A program that never touches the board cannot pass a scenario on the
// launcher's own commands: an edge or level that reached no program is no
// level of the line, and a command naming an output is refused at once.
TEST(ScenarioRun, LinesAreJudgedByWhatReachedTheProgram) {
  ScratchFile inputs("inputs.json", R"({
      "actions": [{"at": 100, "do": "edge trigger 1"}, {"at": 100, "do": "level input 1"}],
      "expect": [{"at": 500, "line": "trigger", "level": 1},
                 {"at": 500, "line": "input", "level": 1}, {"exit": 0}]})");
  LauncherRun run = run_traced({"--scenario", inputs.path(), "sleep", "1"}, "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  for (const char* message :
       {": expect[0]: expected line trigger (12) is 1 at 0.500 s, but the line was never set\n",
        ": expect[1]: expected line input (17) is 1 at 0.500 s, but the line was never set\n",
        ": 2 of 3 expectations did not hold\n"})
    EXPECT_NE(run.err.find(message), std::string::npos) << message << run.err;

  ScratchFile outputs("outputs.json", R"({
      "actions": [{"at": 100, "do": "level alarm 1"}, {"at": 100, "do": "edge laser 1"}],
      "expect": [{"at": 500, "line": "alarm", "level": 1},
                 {"at": 500, "line": "laser", "level": 1}]})");
  run = run_traced({"--scenario", outputs.path(), "sleep", "1"}, "", 60);
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  EXPECT_NE(run.err.find("kiv-sim-run: scenario " + outputs.path() +
                         ": actions[0].do: alarm (21) is an output: edge and level set inputs\n"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(run.events.empty()) << "the program ran: " << run.trace_text();
}

TEST(ScenarioRun, TheTraceHoldsEveryEventInTimeOrder) {
  LauncherRun run = run_traced(with_scenario(KIV_SCENARIO_DIR "/passing.json"), "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  ASSERT_EQ(run.trace_error, "");
  const std::vector<kivsim::Event>& events = run.events;
  ASSERT_GT(events.size(), 40u);
  int64_t last_t = 0;
  uint64_t seq = 0;
  for (const kivsim::Event& e : events) {
    EXPECT_EQ(e.seq, ++seq);
    if (!e.late) {
      EXPECT_GE(e.time_ns, last_t) << e.text;
    }
    last_t = std::max(last_t, e.time_ns);
  }
  using kivsim::EventKind;
  using kivsim::EventSource;
  auto first = [&](EventSource source, EventKind kind) -> const kivsim::Event& {
    static const kivsim::Event none;
    for (const kivsim::Event& e : events)
      if (e.source == source && e.kind == kind)
        return e;
    ADD_FAILURE() << "no " << kivsim::kind_name(kind) << " event";
    return none;
  };
  EXPECT_EQ(first(EventSource::kGpio, EventKind::kWrite).timing, kivsim::EventTiming::kSource);
  EXPECT_EQ(first(EventSource::kStrip, EventKind::kRender).leds.at(0), 0x0000ffu);
  EXPECT_EQ(first(EventSource::kCom1, EventKind::kReceived).bytes, "READY\r\n");
  EXPECT_EQ(first(EventSource::kCom1, EventKind::kReceived).timing, kivsim::EventTiming::kArrival);
  EXPECT_EQ(first(EventSource::kLight, EventKind::kState).light.brightness, 24);
  EXPECT_EQ(first(EventSource::kI2c, EventKind::kRegisters).lens_value, 1200);
  const kivsim::Event& nack = first(EventSource::kI2c, EventKind::kBus);
  EXPECT_FALSE(nack.bus.answering);
  EXPECT_TRUE(nack.bus.present);
  EXPECT_EQ(events.back().kind, EventKind::kExit);
  EXPECT_EQ(events.back().result, 1);
  // The trigger's edge comes before its handler, the handler before the light.
  EXPECT_LT(run.index_of("edge trigger (12) -> 1"), run.index_of("handler trigger (12) starts"));
  EXPECT_LT(run.index_of("handler trigger (12) starts"), run.index_of("light off -> on"));
  const kivsim::Event* light = run.event_with("light off -> on");
  ASSERT_NE(light, nullptr);
  EXPECT_TRUE(light->light.light_on);
  // The changes the trace carries add up to the device as the program left it.
  const kivsim::DeviceState state = run.end_state();
  EXPECT_EQ(state.output[21], 1) << "the alarm";
  EXPECT_EQ(state.leds, std::vector<uint32_t>(9, 0xff0000));
  EXPECT_FALSE(state.bus.answering);
  EXPECT_EQ(state.edges_raised, 4);
  EXPECT_EQ(state.exit_status, 1);
}

}  // namespace
}  // namespace kivtest
