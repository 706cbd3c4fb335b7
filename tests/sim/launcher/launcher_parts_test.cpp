// SPDX-License-Identifier: MIT
// The launcher's parts: its options, how the GPIO stand-in's reports are
// read, and the board's lines it hands to the next stand-in.
#include <gtest/gtest.h>

#include "gpio_events.h"
#include "gpio_hand_over.h"
#include "options.h"

namespace kivsim {
namespace {

TEST(Options, ProgramArgumentsStayTheProgramsAndValuesAreChecked) {
  LaunchOptions o;
  std::string error;
  const char* argv[] = {"run",
                        "--trace=t.jsonl",
                        "--scenario",
                        "s.json",
                        "--script=a.script",
                        "--cpu-serial",
                        "10000000abcdef01",
                        "--grace",
                        "50",
                        "prog",
                        "--ini",
                        "x"};
  ASSERT_TRUE(parse_options(12, argv, o, error)) << error;
  EXPECT_EQ(o.trace, "t.jsonl");
  EXPECT_EQ(o.scenario, "s.json");
  EXPECT_EQ(o.script, "a.script");
  EXPECT_EQ(o.cpu_serial, "10000000abcdef01");
  EXPECT_EQ(o.grace_ms, 50);
  EXPECT_EQ(o.program, (std::vector<std::string>{"prog", "--ini", "x"}));
  EXPECT_TRUE(o.ini_file.empty());

  LaunchOptions dashed;
  const char* argv2[] = {"run", "--lib-path", "", "--", "--prog"};
  ASSERT_TRUE(parse_options(5, argv2, dashed, error));
  EXPECT_TRUE(dashed.lib_path_set);
  EXPECT_EQ(dashed.program[0], "--prog");

  // Upper case is taken as the list's lower case; only 16 hex digits can match.
  const char* upper[] = {"run", "--cpu-serial", "10000000ABCDEF01", "p"};
  ASSERT_TRUE(parse_options(4, upper, o, error)) << error;
  EXPECT_EQ(o.cpu_serial, "10000000abcdef01");
  for (std::vector<const char*> bad : {std::vector<const char*>{"run", "--cpu-serial", "12g4", "p"},
                                       {"run", "--cpu-serial", "10000000abcdef012", "p"},
                                       {"run", "--cpu-serial", "abcdef01", "p"},
                                       {"run", "--cpu-serial", "10000000abcdef0g", "p"},
                                       {"run", "--cpu-serial", "", "p"},
                                       {"run", "--grace", "-1", "p"},
                                       {"run", "--script"},
                                       {"run", "--bogus", "p"},
                                       {"run", "--junit", "j.xml", "p"},
                                       {"run", "--repeat", "2", "p"},
                                       {"run", "--scenario", "s", "--repeat", "0", "p"},
                                       {"run", "--scenario", "s", "--repeat", "2", "--view", "p"},
                                       {"run"}}) {
    LaunchOptions x;
    EXPECT_FALSE(parse_options(static_cast<int>(bad.size()), bad.data(), x, error)) << bad[1];
  }
  const char* repeated[] = {"run", "--scenario", "s", "--repeat", "3", "--junit", "j", "p"};
  ASSERT_TRUE(parse_options(8, repeated, o, error)) << error;
  EXPECT_EQ(o.repeat, 3);
  EXPECT_EQ(o.junit, "j");
  EXPECT_NE(fake_cpuinfo("abc").find("\nSerial\t\t: abc\n"), std::string::npos);
}

TEST(Options, TheKernelAndTheI2cAdapterTakeOneWordEach) {
  LaunchOptions o;
  std::string error;
  const char* argv[] = {"run",
                        "--kernel-modules",
                        "i2c_dev,,snd_bcm2835",
                        "--i2c-funcs",
                        "0x8",
                        "--kernel-cmdline",
                        "console=ttyAMA0 quiet",
                        "prog",
                        "--i2c-funcs",
                        "1"};
  ASSERT_TRUE(parse_options(10, argv, o, error)) << error;
  EXPECT_EQ(o.kernel_modules, (std::vector<std::string>{"i2c_dev", "snd_bcm2835"}));
  EXPECT_TRUE(o.kernel_modules_set && o.kernel_cmdline_set);
  EXPECT_EQ(o.kernel_cmdline, "console=ttyAMA0 quiet");
  EXPECT_EQ(o.i2c_funcs, "0x8");
  EXPECT_EQ(o.program, (std::vector<std::string>{"prog", "--i2c-funcs", "1"}));
  for (const char* funcs : {"x1", "-1", "0x1g"}) {
    const char* bad[] = {"run", "--i2c-funcs", funcs, "p"};
    LaunchOptions x;
    EXPECT_FALSE(parse_options(4, bad, x, error)) << funcs;
  }
}

// Each report line becomes an event of its kind with its fields and the
// text a person reads; a line of no known form is shown as it came.
TEST(GpioReports, EachLineBecomesAnEventOfItsKind) {
  const struct {
    const char* line;
    EventKind kind;
    int pin, level, result;
    const char* text;
  } cases[] = {
      {"setup -1", EventKind::kSetup, -1, -1, -1, "setup failed (-1)"},
      {"setup 0", EventKind::kSetup, -1, -1, 0, "setup ok"},
      {"mode 7 1", EventKind::kMode, 7, 1, 0, "mode scan-b (7) OUTPUT"},
      {"mode 5 9", EventKind::kMode, 5, 9, 0, "mode pin 5 9 (unknown)"},
      {"pull 20 2", EventKind::kPull, 20, 2, 0, "pull tune (20) up"},
      {"isr 12 1 -1", EventKind::kIsr, 12, 1, -1,
       "interrupt trigger (12) on falling edges: failed (-1)"},
      {"isr 6 3 0", EventKind::kIsr, 6, 3, 0, "interrupt pin 6 on both edges: ok"},
      {"write 21 1", EventKind::kWrite, 21, 1, 0, "alarm (21) -> 1"},
      {"write 40 1", EventKind::kWrite, 40, 1, 0, "pin 40 -> 1"},
      {"read 17 1", EventKind::kRead, 17, 1, 0, "read input (17) = 1"},
      {"handler-start 17", EventKind::kHandlerStart, 17, -1, 0, "handler input (17) starts"},
      {"handler-end 17", EventKind::kHandlerEnd, 17, -1, 0, "handler input (17) ends"},
      {"lost 1200", EventKind::kLost, -1, -1, 1200,
       "1200 reports lost: the launcher took them too slowly"},
      {"written 22 1", EventKind::kWritten, 22, 1, 0, "do1 (22) is 1 (after lost reports)"},
      {"write 22", EventKind::kUnknown, -1, -1, 0, "unknown report \"write 22\""},
      {"write x 1", EventKind::kUnknown, -1, -1, 0, "unknown report \"write x 1\""},
      {"write -3 1", EventKind::kUnknown, -1, -1, 0, "unknown report \"write -3 1\""},
      {"mode 22 1 5", EventKind::kUnknown, -1, -1, 0, "unknown report \"mode 22 1 5\""},
      {"bogus 1 2", EventKind::kUnknown, -1, -1, 0, "unknown report \"bogus 1 2\""},
      {"", EventKind::kUnknown, -1, -1, 0, "unknown report \"\""},
  };
  for (const auto& c : cases) {
    Event e;
    e.source = EventSource::kGpio;
    read_gpio_report(c.line, e);
    EXPECT_STREQ(kind_name(e.kind), kind_name(c.kind)) << c.line;
    EXPECT_EQ(e.pin, c.pin) << c.line;
    EXPECT_EQ(e.level, c.level) << c.line;
    EXPECT_EQ(e.result, c.result) << c.line;
    EXPECT_EQ(e.text, c.text) << c.line;
  }
}

// The board's lines as the run's events leave them, handed to the next GPIO
// stand-in: per line the level the launcher holds, the latch, the pull, then
// the mode, and the marker last; a held level no program has seen is handed over once.
TEST(GpioHandOver, HandsOverWhatTheEventsLeftTheLines) {
  GpioHandOver hand_over;
  EXPECT_EQ(hand_over.wire_text(), "handed-over\n");
  EXPECT_EQ(hand_over.summary(), "");
  for (const char* report : {
           "mode 13 1", "write 13 0", "write 13 1", "write 22 1",
           "mode 22 0",     // do1 written, then an input
           "written 27 1",  // caught up after lost reports
           "mode 5 4",      // a mode of no level: unknown
           "read 12 1",     // no state the board keeps
           "pull 12 1",     // pulled down, as the board keeps it
       }) {
    Event e;
    e.source = EventSource::kGpio;
    read_gpio_report(report, e);
    hand_over.see(e);
  }
  const struct {
    EventKind kind;
    int pin, level;
    bool sent;
  } commands[] = {
      {EventKind::kLevel, 17, 1, true},  // seen by a program
      {EventKind::kEdge, 12, 0, false},  // with none connected
      {EventKind::kLevel, 20, 1, false},
  };
  for (const auto& c : commands) {
    Event e;
    e.source = EventSource::kGpio;
    e.kind = c.kind;
    e.pin = c.pin;
    e.level = c.level;
    e.sent = c.sent;
    hand_over.see(e);
  }
  EXPECT_EQ(hand_over.wire_text(),
            "level 12 0\npull 12 1\nlatch 13 1\nmode 13 1\nlevel 17 1\nlevel 20 1\nlatch 22 1\n"
            "mode 22 0\nlatch 27 1\nhanded-over\n");
  EXPECT_EQ(hand_over.summary(),
            "laser (13): output, latch 1; do1 (22): input, latch 1; do2 (27): latch 1; input "
            "(17): held at 1; trigger (12): pulled down, held at 0; tune (20): held at 1");
  using Levels = std::vector<std::pair<int, int>>;
  EXPECT_EQ(hand_over.take_unseen(), (Levels{{12, 0}, {20, 1}}));
  EXPECT_EQ(hand_over.take_unseen(), Levels{}) << "handed over once";
  EXPECT_NE(hand_over.wire_text().find("level 20 1\n"), std::string::npos) << "still held";
}

TEST(Options, ViewTakesAnOptionalPort) {
  struct Case {
    std::vector<const char*> argv;
    bool ok;
    int port;
    const char* program;
  };
  const Case cases[] = {
      {{"run", "--view", "prog"}, true, 8765, "prog"},
      {{"run", "--view", "9000", "prog"}, true, 9000, "prog"},
      {{"run", "--view=0", "prog"}, true, 0, "prog"},
      {{"run", "--view", "--script", "s", "prog"}, true, 8765, "prog"},
      {{"run", "--view", "70000", "prog"}, false, 0, ""},
      {{"run", "--view=", "prog"}, true, 8765, "prog"},
      {{"run", "prog", "--view", "1"}, false, 0, ""},
      {{"run", "--view=8x", "prog"}, false, 0, ""},
  };
  for (const Case& c : cases) {
    LaunchOptions o;
    std::string error;
    bool ok = parse_options(static_cast<int>(c.argv.size()), c.argv.data(), o, error);
    if (c.argv[1] == std::string("prog")) {
      // After the program's name, "--view" is the program's own.
      ASSERT_TRUE(ok) << error;
      EXPECT_FALSE(o.view);
      EXPECT_EQ(o.program, (std::vector<std::string>{"prog", "--view", "1"}));
      continue;
    }
    ASSERT_EQ(ok, c.ok) << c.argv[1] << " " << c.argv[2] << ": " << error;
    if (!ok) {
      EXPECT_NE(error.find("--view takes a port"), std::string::npos) << error;
      continue;
    }
    EXPECT_TRUE(o.view);
    EXPECT_EQ(o.view_port, c.port);
    EXPECT_EQ(o.program.front(), c.program);
  }
}

}  // namespace
}  // namespace kivsim
