// SPDX-License-Identifier: MIT
// Scenarios and the trace, run through the launcher on the sample inspection
// application: a scenario that holds, one whose wrong expectation is caught,
// files refused before the program starts, and the trace's order; its cycle
// times judged, held and missed, once and repeated, and written for CI.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

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

// A sample scenario whose "within" margins are those this build can hold:
// KIV_TIMING_MARGIN_SCALE times the file's (more under the sanitizers and
// qemu-user).
std::unique_ptr<ScratchFile> with_margins(const std::string& name) {
  std::ifstream in(std::string(KIV_SCENARIO_DIR "/") + name);
  std::stringstream content;
  content << in.rdbuf();
  std::string text = content.str(), scaled;
  const std::regex within("\"within\": ([0-9]+)");
  std::sregex_iterator it(text.begin(), text.end(), within), end;
  size_t done = 0;
  for (; it != end; ++it) {
    scaled += text.substr(done, static_cast<size_t>(it->position(0)) - done);
    scaled += "\"within\": " + std::to_string(std::stol((*it)[1]) * KIV_TIMING_MARGIN_SCALE);
    done = static_cast<size_t>(it->position(0) + it->length(0));
  }
  return std::make_unique<ScratchFile>(name, scaled + text.substr(done));
}

TEST(ScenarioRun, TheSampleApplicationPassesItsScenario) {
  const std::unique_ptr<ScratchFile> passing = with_margins("passing.json");
  LauncherRun run = run_launcher(with_scenario(passing->path()), "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(run.has("scenario " + passing->path() + ": all 15 expectations held")) << run.out;
  EXPECT_EQ(run.err, "");
}

// Each trigger waits for the application to be ready for it; the cycle time
// held, with the delays measured.
TEST(ScenarioRun, TheCycleTimeHoldsAndItsDelaysAreReported) {
  const std::unique_ptr<ScratchFile> cycle = with_margins("cycle_time.json");
  LauncherRun run = run_traced(with_scenario(cycle->path()), "", 60);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(std::regex_search(run.out, std::regex("expect\\[3\\] \"cycle time\": com1 received "
                                                    "text matching .* within [0-9]+ ms after "
                                                    "trigger rises: worst 1[0-9]{3}\\.[0-9] ms, "
                                                    "median [0-9.]+ ms over 2\n")))
      << run.out;
  // The first trigger came 200 ms after READY at the earliest.
  const kivsim::Event* ready = run.event_with("<- \"READY\\r\\n\"");
  const kivsim::Event* trigger = run.event_with("edge trigger (12) -> 1");
  ASSERT_TRUE(ready && trigger) << run.trace_text();
  EXPECT_GE(trigger->time_ns - ready->time_ns, 200 * 1000000);
}

// A slow variant of the application misses its cycle time, which the message
// says with the delay measured, in every one of the repeated runs. Its
// lateness is beyond any margin, so the file's own margins are judged.
TEST(ScenarioRun, ASlowApplicationMissesItsCycleTimeInEveryRun) {
  const std::string scenario = KIV_SCENARIO_DIR "/cycle_time.json";
  ScratchFile junit("slow.xml", "");
  std::vector<std::string> args = {"--repeat",   "2",          "--junit",
                                   junit.path(), "--scenario", scenario};
  for (const std::string& word : built_program(KIV_INSPECTION_PATH))
    args.push_back(word);
  args.push_back("2");
  args.push_back("700");  // each cycle starts 700 ms late
  LauncherRun run = run_launcher(args, "", 90);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  const std::regex missed(
      "expect\\[0\\] \"light on\": expected light controller has light 1, work_mode 5 within 300 "
      "ms after trigger rises, but it took ([0-9]+)\\.[0-9] ms after the one at [0-9.]+ s \\(worst "
      "[0-9.]+ ms, median [0-9.]+ ms over 2\\)\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(run.err, m, missed)) << run.err;
  EXPECT_GE(std::stoi(m[1]), 700);
  for (const char* line :
       {": run 2 of 2\n", ": expect[0] \"light on\": held in 0 of 2 runs; delays min ",
        ": expect[6]: held in 2 of 2 runs\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  EXPECT_NE(run.err.find(": 4 of 7 expectations did not hold in every run\n"), std::string::npos)
      << run.err;
  std::ifstream in(junit.path());
  std::stringstream xml;
  xml << in.rdbuf();
  EXPECT_NE(xml.str().find("tests=\"7\" failures=\"4\""), std::string::npos) << xml.str();
  EXPECT_NE(xml.str().find("<failure message=\"expect[0] &quot;light on&quot;: expected light "
                           "controller has light 1, work_mode 5 within 300 ms after trigger rises, "
                           "but it took "),
            std::string::npos)
      << xml.str();
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
  const std::unique_ptr<ScratchFile> passing = with_margins("passing.json");
  LauncherRun run = run_traced(with_scenario(passing->path()), "", 60);
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
