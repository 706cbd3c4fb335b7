// SPDX-License-Identifier: MIT
// kivctl's one-shot commands on the simulated board: what reached the
// device's lines, ports, lens and strip, read from the run's trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "kivctl_run.h"

namespace kivtest {
namespace {

struct Case {
  std::vector<std::string> args;
  int status;
  // Texts of the trace's events; "> TEXT": a whole line of the program's output.
  std::vector<std::string> seen;
  std::string script = "";                 // launcher commands run from the start
  std::vector<std::string> launcher = {};  // the launcher's options
};

void run_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args)
      joined += a + " ";
    SCOPED_TRACE("kivctl " + joined);
    ScratchFile script("commands.script", c.script);
    std::vector<std::string> launcher = c.launcher;
    if (!c.script.empty())
      launcher.insert(launcher.end(), {"--script", script.path()});
    LauncherRun run = run_kivctl(launcher, c.args);
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    std::vector<std::string> lines = program_lines(run);
    for (const std::string& text : c.seen) {
      bool line = text.rfind("> ", 0) == 0;
      bool found = line ? std::find(lines.begin(), lines.end(), text.substr(2)) != lines.end()
                        : run.event_with(text) != nullptr;
      EXPECT_TRUE(found) << "missing: " << text << "\n" << run.trace_text();
    }
  }
}

// The pins the trace shows written or switched in mode, in order.
std::vector<int> pins_touched(const LauncherRun& run) {
  std::vector<int> pins;
  for (const kivsim::Event& e : run.events)
    if (e.source == kivsim::EventSource::kGpio &&
        (e.kind == kivsim::EventKind::kWrite || e.kind == kivsim::EventKind::kMode))
      pins.push_back(e.pin);
  return pins;
}

// Each named line gets its level before it becomes an output; no other line
// is written or switched, as gpioset leaves them.
TEST(KivctlCommands, OutSetsOnlyTheNamedLines) {
  const struct {
    std::vector<std::string> args;
    std::vector<int> touched;  // write, then mode, of each named line
    std::vector<std::string> seen;
  } cases[] = {
      {{"out", "alarm", "1"}, {21, 21}, {"alarm (21) -> 1"}},
      {{"out", "laser", "on", "do2", "0"}, {13, 13, 27, 27}, {"laser (13) -> 1", "do2 (27) -> 0"}},
      {{"out", "scan-a", "1", "scan-b", "0", "do1", "high"},
       {16, 16, 7, 7, 22, 22},
       {"scan-a (16) -> 1", "scan-b (7) -> 0", "do1 (22) -> 1"}},
      // older spellings: both scan lines at opposite levels, as the library
      // drives them (both levels, then both modes); "scan A", in any case
      {{"out", "Scan", "OFF"}, {16, 7, 16, 7}, {"scan-a (16) -> 0", "scan-b (7) -> 1"}},
      {{"out", "SCAN-B", "1", "scan a", "Low"},
       {7, 7, 16, 16},
       {"scan-b (7) -> 1", "scan-a (16) -> 0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1]);
    LauncherRun run = run_kivctl({}, c.args);
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(pins_touched(run), c.touched) << run.trace_text();
    for (const std::string& text : c.seen)
      EXPECT_NE(run.event_with(text), nullptr) << "missing: " << text << "\n" << run.trace_text();
    const kivsim::Event* first = nullptr;
    for (const kivsim::Event& e : run.events)
      if (!first && e.source == kivsim::EventSource::kGpio && e.kind == kivsim::EventKind::kWrite)
        first = &e;
    ASSERT_NE(first, nullptr);
    EXPECT_LT(run.index_of(first->text),
              run.index_of("mode " + first->text.substr(0, first->text.find(" ->")) + " OUTPUT"))
        << "the level goes first\n"
        << run.trace_text();
  }
}

TEST(KivctlCommands, LineNamesAreRefusedWithTheValidOnes) {
  run_cases({
      {{"out", "laser", "2"}, 2, {"kivctl: out: laser takes 1 or 0 (on or off), not '2'"}},
      {{"out", "beam", "1"},
       2,
       {"'beam' is no output line (laser, alarm, scan-a, scan-b, do1, do2)"}},
      {{"out", "input", "1"}, 2, {"'input' is no output line"}},
      {{"out", "laser"}, 2, {"out takes pairs"}},
      {{"out", "laser", "1", "Laser", "0"}, 2, {"out: Laser: a line named twice"}},
      {{"out", "scan", "1", "scan-b", "1"}, 2, {"out: scan-b: a line named twice"}},
      {{"get", "do1", "DO1"}, 2, {"get: DO1: a line named twice"}},
      {{"get", "beam"},
       2,
       {"'beam' is no line (laser, alarm, scan-a, scan-b, do1, do2, input, trigger, tune)"}},
      {{"watch", "laser"},
       2,
       {"'laser' is nothing to watch (input, trigger, tune, com1, com2, light)"}},
  });
}

// Words the tool cannot take are named in its own words with the command
// they were given to, never in the parser's.
TEST(KivctlCommands, WrongWordsAreSaidInTheToolsWords) {
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"bogus"}, "kivctl: 'bogus' is no command (out, get, light, lens, strip, serial, info,"},
      {{}, "kivctl: which command? out, get, light,"},
      {{"lens"}, "kivctl: lens: which command of 'lens'? get, set, read, vtemp, raw"},
      {{"lens", "get", "5"}, "kivctl: lens get: '5' is not taken here"},
      {{"light", "flash", "3"}, "kivctl: light flash: TIME is missing"},
      {{"light", "mode", "x"}, "kivctl: light mode: M 'x' is not a whole number"},
      {{"serial", "listen", "com1", "--count"}, "kivctl: serial listen: --count needs a value"},
      {{"watch", "trigger", "--timeout", "x"}, "kivctl: watch: --timeout 'x' is not a number of"},
      {{"serial", "send", "com1", "x", "--parity", "mark"},
       "kivctl: serial send: --parity 'mark' is not one of none, even, odd"},
      {{"watch", "input", "--timeout", "1e10"},
       "kivctl: watch: --timeout 1e10 s is more than 10000000 s"},
      {{"watch", "input", "--count", "1", "--count", "2"},
       "kivctl: watch: --count is given more than once"},
      {{"out"}, "kivctl: out: LINE LEVEL is missing"},
      {{"get", "--json=x"}, "kivctl: get: --json takes no value"},
      {{"--bogus"}, "kivctl: '--bogus' is not taken here"},
      {{"lens", "--bogus"}, "kivctl: lens: '--bogus' is not taken here"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    LauncherRun run = run_kivctl({}, c.args);
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, 2) << run.err;
    const std::vector<std::string> said = program_lines(run, true);
    ASSERT_EQ(said.size(), 1u) << run.trace_text();
    EXPECT_EQ(said[0].rfind(c.says, 0), 0u) << said[0];
    for (const char* internal : {"Value ", "required INT", "Could not convert", "The following",
                                 "A subcommand", "0.000000", "{", "is required", "INT:"})
      EXPECT_EQ(said[0].find(internal), std::string::npos) << said[0];
  }
}

// An argument the device would refuse is refused as it is read: exit 2 with
// one line, and the set-up never ran, so no line moved.
TEST(KivctlCommands, ArgumentsAreCheckedBeforeAnythingMoves) {
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"light", "section", "5", "on"}, "light section: N 5 is not in range 1 to 4"},
      {{"light", "section", "1", "maybe"}, "light section: STATE 'maybe' is not one of on, off"},
      {{"light", "brightness", "5"}, "B 5 is not in range 20 to 479"},
      {{"light", "cmd", "91"}, "light cmd: TEXT '91' is no frame: give its three bytes"},
      {{"lens", "set", "46001"}, "lens set: VALUE 46001 is not in range 0 to 46000"},
      {{"lens", "raw", "set", "0x10000", "1"}, "lens raw set: REG '0x10000' is not a register"},
      {{"lens", "raw", "set", "0", "256"}, "BYTES '256' is not a byte (0 to 0xff)"},
      {{"lens", "raw", "get", "0", "257"}, "LEN 257 is not in range 1 to 256"},
      {{"strip", "status", "4"}, "strip status: STATE 4 is not in range 0 to 3"},
      {{"out", "laser", "2"}, "out: laser takes 1 or 0 (on or off), not '2'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    LauncherRun run = run_kivctl({}, c.args);
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    EXPECT_NE(run.event_with(c.says), nullptr) << run.trace_text();
    EXPECT_EQ(run.event_with("setup ok"), nullptr) << run.trace_text();
    EXPECT_EQ(run.event_with("->"), nullptr) << "a line moved\n" << run.trace_text();
  }
}

// A command whose effect never reached the device fails with one line, also
// where the library's call returns nothing or always 0.
TEST(KivctlCommands, NothingReachedTheDeviceIsAFailure) {
  if (emulated())
    GTEST_SKIP() << "faults are made by a shell, which the emulator would not preload";
  ScratchFile hangup("hangup.script", "hangup com2\n");
  ScratchFile later("hangup_later.script", "wait 1000\nhangup com2\n");
  const std::string hung_up = "the light controller's port could not be written";
  const std::string no_strip = "the LED strip is not running";
  const std::string no_board = "the GPIO library cannot identify the board";
  const struct {
    std::vector<std::string> launcher;
    const char* before;
    const char* args;
    std::string says;
  } cases[] = {
      {{"--script", hangup.path()},
       "sleep 0.3",
       "light flash 3 20",
       "/dev/com2, the light controller's port, could not be opened"},
      // on while the line was up; the switch-off meets it hung up
      {{"--script", later.path()},
       "true",
       "light on --auto-off",
       "light on --auto-off: " + hung_up},
      {{}, "export KIV_SIM_STRIP_INIT_RESULT=-3", "strip status 2", "strip status 2: " + no_strip},
      {{}, "export KIV_SIM_STRIP_INIT_RESULT=-3", "strip rgb 1 2 3", "strip rgb: " + no_strip},
      {{}, "mount --bind /dev/null /proc/cpuinfo", "out laser 1", no_board},
      {{}, "mount --bind /dev/null /proc/cpuinfo", "get laser", no_board},
      {{}, "mount --bind /dev/null /proc/cpuinfo", "watch trigger --count 1", no_board},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    LauncherRun run = run_kivctl_after(c.launcher, c.before, c.args);
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_TRUE(printed(run, "kivctl: " + c.says, true)) << "missing: " << c.says << "\n"
                                                         << run.trace_text();
  }
}

TEST(KivctlCommands, ACommandOfAFewMillisecondsIsShownWhole) {
  // Such a program may connect its stand-ins and end between two looks of
  // the launcher; several runs at once make that likely.
  constexpr int kRuns = 8;
  std::vector<LauncherRun> runs(kRuns);
  std::vector<std::thread> threads;
  for (LauncherRun& run : runs)
    threads.emplace_back([&run] { run = run_kivctl({}, {"out", "laser", "1"}); });
  for (std::thread& t : threads)
    t.join();
  for (const LauncherRun& run : runs) {
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.event_with("laser (13) -> 1"), nullptr) << run.trace_text();
    EXPECT_NE(run.event_with("mode laser (13) OUTPUT"), nullptr) << run.trace_text();
  }
}

TEST(KivctlCommands, LightControllerFrames) {
  run_cases({
      {{"light", "section", "1", "on"}, 0, {"31 2D 31 0D 0A"}},
      {{"light", "section", "4", "off"}, 0, {"34 2D 30 0D 0A"}},
      {{"light", "mode", "3"}, 0, {"35 2D 03 0D 0A"}},
      {{"light", "on"}, 0, {"35 2D 05 0D 0A", "39 2D 01 0D 0A"}},
      // a light switched on by another process: the frame goes out all the same
      {{"light", "off"}, 0, {"39 2D 00 0D 0A"}},
      {{"light", "flash", "3", "20"}, 0, {"37 2D 03 0D 0A", "38 2D 14 0D 0A", "36 2D 31 0D 0A"}},
      {{"light", "brightness", "100"}, 0, {"43 2D 00 64 0D 0A"}},
      {{"light", "cmd", "9-\\x01"}, 0, {"39 2D 01 0D 0A"}},
  });
}

TEST(KivctlCommands, LensAndStrip) {
  run_cases({
      {{"lens", "set", "1200"}, 0, {"write 18 [00 00 B0 04 00 00] -> ok"}},
      {{"lens", "get"}, 0, {"> 1000"}, "lens set 0 1000\n"},
      {{"lens", "get", "--json"}, 0, {"> {\"lens\":1000}"}, "lens set 0 1000\n"},
      {{"lens", "get"}, 1, {"lens get: the lens controller did not answer"}, "lens nack\n"},
      {{"lens", "vtemp", "on"}, 0, {"write 18 [00 28 01 00 00 00] -> ok"}},
      {{"lens", "vtemp", "off"}, 0, {"write 18 [00 28 00 00 00 00] -> ok"}, "lens set 40 1\n"},
      {{"lens", "read"},
       0,
       {"> lens   1000", "> vtemp  on (0x01 0x00 0x00 0x00)"},
       "lens set 0 1000\nlens set 40 1\n"},
      {{"lens", "read", "--json"}, 0, {"> {\"lens\":1000,\"vtemp\":0}"}, "lens set 0 1000\n"},
      // 16-bit register addresses, high byte first; a read runs on into the next register
      {{"lens", "raw", "get", "38", "12"},
       0,
       {"write 18 [00 26], read 18",
        "> 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0xe8 0x03 0x00 0x00"},
       "lens set 40 1000\n"},
      {{"lens", "raw", "set", "0x0100", "0xb0", "4"}, 1, {"write 18 [01 00 B0 04] -> EREMOTEIO"}},
      {{"lens", "raw", "set", "0", "0xb0", "4"}, 0, {"lens 1200 (B0 04 00 00)"}},
      {{"lens", "raw", "get", "0", "2"},
       1,
       {"lens raw get 0: the lens controller did not answer"},
       "lens nack\n"},
      // numbers with a leading zero are decimal, as they were checked
      {{"lens", "set", "010"}, 0, {"write 18 [00 00 0A 00 00 00] -> ok"}},
      {{"strip", "rgb", "0100", "0", "08"}, 0, {"9 LEDs: 640008 x9"}},
      // VTemp's word read whole, its top bit included
      {{"lens", "read", "--json"},
       0,
       {"> {\"lens\":0,\"vtemp\":2147483648}"},
       "lens set 40 2147483648\n"},
      {{"strip", "status", "2"}, 0, {"9 LEDs: 00ff00 x9"}},
      {{"strip", "status", "4"}, 2, {}},
      {{"strip", "rgb", "255", "128", "0"}, 0, {"9 LEDs: ff8000 x9"}},
  });
}

TEST(KivctlCommands, InfoAsJson) {
  ScratchFile ini("ul.ini", "[CMD]\ntimeout_ns = 7\n");
  run_cases({
      {{"info", "--json"},
       0,
       {"\"light_map\":[{\"channel\":1,\"from\":\"variant\",\"section\":1}",
        "\"pause_from\":\"ini\",\"pause_ms\":7",
        "{\"bcm\":13,\"direction\":\"out\",\"level\":0,\"role\":\"laser\"}"},
       "",
       {"--ini", ini.path()}},
  });
}

TEST(KivctlCommands, SerialPortsAlone) {
  run_cases({
      {{"serial", "send", "com1", "OK 1\\r\\n"}, 0, {"<- \"OK 1\\r\\n\" (6 bytes)"}},
      {{"serial", "send", "com2", "--hex", "39 2D 01 0D 0A"}, 0, {"39 2D 01 0D 0A   light on"}},
      {{"serial", "send", "com1", "--hex", "4G"}, 2, {"is no list of hex bytes"}},
      {{"serial", "send", "com3", "x"}, 2, {}},
      {{"serial", "listen", "com1", "--hex", "--count", "1", "--timeout", "20"},
       0,
       {"com1 68 69 0D 0A"},
       "wait 1500\nsend com1 hi\\r\\n\n"},
      // The bytes as a JSON string, quoted once.
      {{"serial", "listen", "com1", "--json", "--count", "1", "--timeout", "20"},
       0,
       {"\"text\":\"hi\\r\\n\""},
       "wait 1500\nsend com1 hi\\r\\n\n"},
      {{"serial", "listen", "com1", "--json", "--count", "2", "--timeout", "1"},
       1,
       {"serial listen: 0 of 2 events came within 1 s"}},
  });
}

}  // namespace
}  // namespace kivtest
