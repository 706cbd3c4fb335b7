// SPDX-License-Identifier: MIT
// The launcher's parts: its options and how the GPIO stand-in's reports are
// read.
#include <gtest/gtest.h>

#include "board_map.h"
#include "gpio_events.h"
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
                                       {"run"}}) {
    LaunchOptions x;
    EXPECT_FALSE(parse_options(static_cast<int>(bad.size()), bad.data(), x, error)) << bad[1];
  }
  EXPECT_NE(fake_cpuinfo("abc").find("\nSerial\t\t: abc\n"), std::string::npos);
}

TEST(GpioReports, LostReportsAreCountedAndTheLevelsCaughtUp) {
  BoardState s;
  describe_gpio_report("write 22 0", s);
  EXPECT_EQ(describe_gpio_report("lost 1200", s),
            "1200 reports lost: the launcher took them too slowly");
  EXPECT_EQ(describe_gpio_report("written 22 1", s), "DO1 (22) is 1 (after lost reports)");
  EXPECT_EQ(s.reports_lost, 1200);
  EXPECT_EQ(output_summary(s), "DO1 (22)=1");
}

TEST(GpioReports, ReadInPlainWordsAndAddedUp) {
  BoardState s;
  EXPECT_EQ(describe_gpio_report("setup -1", s), "setup failed (-1)");
  EXPECT_EQ(describe_gpio_report("mode 7 1", s), "mode scan B (7) OUTPUT");
  EXPECT_EQ(describe_gpio_report("mode 5 9", s), "mode pin 5 9 (unknown)");
  EXPECT_EQ(describe_gpio_report("pull 20 2", s), "pull tune (20) up");
  EXPECT_EQ(describe_gpio_report("isr 12 1 -1", s),
            "interrupt trigger (12) on falling edges: failed (-1)");
  EXPECT_EQ(describe_gpio_report("write 21 1", s), "alarm (21) -> 1");
  EXPECT_EQ(describe_gpio_report("write 27 0", s), "DO2 (27) -> 0");
  EXPECT_EQ(describe_gpio_report("write 40 1", s), "pin 40 -> 1");
  EXPECT_EQ(describe_gpio_report("write 21 0", s), "alarm (21) -> 0");
  EXPECT_EQ(describe_gpio_report("handler-start 17", s), "handler input (17) starts");
  for (const char* odd : {"write 22", "write x 1", "write -3 1", "mode 22 1 5", "", "launch"})
    EXPECT_EQ(describe_gpio_report(odd, s).rfind("unknown report", 0), 0u) << odd;
  EXPECT_EQ(output_summary(s), "DO2 (27)=0, alarm (21)=0, pin 40=1");
  EXPECT_EQ(s.handlers_run, 1);
  EXPECT_EQ(output_summary(BoardState()), "none written");
}

TEST(GpioReports, EachLineGivesItsKindAndFields) {
  struct Fields {
    const char* line;
    const char* kind;
    int pin, level, result;
  };
  for (const Fields& c :
       {Fields{"write 22 1", "write", 22, 1, 0}, Fields{"isr 6 3 -1", "isr", 6, 3, -1},
        Fields{"setup -1", "setup", -1, -1, -1},
        Fields{"handler-start 12", "handler-start", 12, -1, 0},
        Fields{"write 22", "write", 22, -1, 0}, Fields{"write 22 x", "unknown", -1, -1, 0},
        Fields{"bogus 1 2", "unknown", -1, -1, 0}}) {
    Event e;
    fill_gpio_fields(c.line, e);
    EXPECT_STREQ(kind_name(e.kind), c.kind) << c.line;
    EXPECT_EQ(e.pin, c.pin) << c.line;
    EXPECT_EQ(e.level, c.level) << c.line;
    EXPECT_EQ(e.result, c.result) << c.line;
  }
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
