// SPDX-License-Identifier: MIT
// The launcher's parts: the light controller model, command and option
// parsing, the command schedule, and how GPIO reports are read.
#include <gtest/gtest.h>

#include "byte_text.h"
#include "command_queue.h"
#include "commands.h"
#include "gpio_events.h"
#include "light_controller.h"
#include "light_frames.h"
#include "options.h"
#include "pins.h"

namespace kivsim {
namespace {

std::vector<LightFrame> decode(const std::string& stream, size_t piece) {
  LightFrameDecoder d;
  std::vector<LightFrame> out;
  for (size_t i = 0; i < stream.size(); i += piece)
    d.feed(stream.data() + i, std::min(piece, stream.size() - i), out);
  d.finish(out);
  return out;
}

TEST(LightFrames, EveryFrameIsNamedHoweverTheReadsCutTheStream) {
  const std::string stream = std::string("C-\x00\x18\r\n", 6) + "3-1\r\n" + "4-0\r\n" +
                             std::string("5-\x05\r\n6-1\r\n7-\x0A\r\n8-\x00\r\n", 20) +
                             std::string("9-\x01\r\n9-\x00\r\n", 10) + "C-\x01\xDF\r\n" +
                             // 269 = 01 0D: its low byte is a CR
                             "C-\x01\x0D\r\n" + "C-\x05\r\n" + "A-\x07\r\n";
  const std::vector<std::string> meanings = {"brightness 24",
                                             "channel 3 on",
                                             "channel 4 off",
                                             "work mode 5",
                                             "flash",
                                             "flash count 10",
                                             "flash time 0",
                                             "light on",
                                             "light off",
                                             "brightness 479",
                                             "brightness 269",
                                             "unknown command 43, argument 05",
                                             "unknown command 41, argument 07"};
  for (size_t piece : {stream.size(), size_t{1}, size_t{4}}) {
    std::vector<LightFrame> frames = decode(stream, piece);
    ASSERT_EQ(frames.size(), meanings.size()) << "piece " << piece;
    for (size_t i = 0; i < frames.size(); ++i)
      EXPECT_EQ(frames[i].meaning, meanings[i]);
    EXPECT_EQ(hex_bytes(frames[0].bytes), "43 2D 00 18 0D 0A");
    EXPECT_FALSE(frames.back().known);
    EXPECT_TRUE(frames[9].known);
  }
}

TEST(LightFrames, StrayBytesAreShownOnceAndTheNextFrameStillFound) {
  std::vector<LightFrame> frames = decode("xyz2-1\r\n2-1\n1-0\r\n2-", 1);
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[0].bytes, "xyz");
  EXPECT_EQ(frames[0].meaning, "not a frame");
  EXPECT_EQ(frames[1].meaning, "channel 2 on");
  // A frame without its CR is not taken: its bytes are stray up to the next frame.
  EXPECT_EQ(frames[2].bytes, "2-1\n");
  EXPECT_FALSE(frames[2].known);
  EXPECT_EQ(frames[3].meaning, "channel 1 off");
  EXPECT_EQ(frames[4].meaning, "unfinished frame");
  EXPECT_EQ(frames[4].bytes, "2-");

  EXPECT_EQ(describe_light_frame(std::string("C-\x01\xE0\r\n", 6)).meaning,
            "brightness 480 (outside 20..479)");
  EXPECT_FALSE(describe_light_frame("2-5\r\n").known);
}

TEST(LightControllerModel, FramesChangeTheStateAndEachChangeIsReported) {
  LightController model;
  const std::string stream = std::string("C-\x00\x18\r\n2-1\r\n2-1\r\n5-\x05\r\n9-\x01\r\n", 26) +
                             "7-\x0A\r\n8-\xFF\r\n6-1\r\n6-1\r\nzz2-0\r\n" +
                             std::string("9-\x00\r\n4-1\r", 9);
  for (char c : stream)
    model.receive(&c, 1);
  model.finish();
  std::vector<LightEvent> events = model.take_events();
  std::string changes;  // at most one change per frame; "-" for none
  for (const LightEvent& e : events)
    changes += (e.changes.empty() ? "-" : e.changes[0]) + "; ";
  EXPECT_EQ(changes,
            "brightness 0 -> 24; channel 2 off -> on; -; work mode 0 -> 5; light off -> on; flash "
            "count 0 -> 10; flash time 0 -> 255; flashes 0 -> 1; flashes 1 -> 2; -; channel 2 on "
            "-> off; light on -> off; -; ");
  EXPECT_EQ(frames_hex({events[1], events[4]}), "32 2D 31 0D 0A | 39 2D 01 0D 0A");
  EXPECT_EQ(model.state().unknown_frames, 2u);
  EXPECT_EQ(describe_light_state(model.state()),
            "channels on: none; work mode 5; light off; flash count 10, time 255, 2 flashes; "
            "brightness 24");
}

TEST(Commands, EachFormIsReadAndFaultsAreNamed) {
  Command c;
  std::string error;
  ASSERT_EQ(parse_command("  edge Trigger 1 # rising", c, error), ParseResult::kCommand);
  EXPECT_EQ(c.kind, CommandKind::kEdge);
  EXPECT_EQ(c.pin, 12);
  EXPECT_EQ(c.level, 1);
  ASSERT_EQ(parse_command("level 5 0", c, error), ParseResult::kCommand);
  EXPECT_EQ(c.pin, 5);
  ASSERT_EQ(parse_command("wait 250", c, error), ParseResult::kCommand);
  EXPECT_EQ(c.ms, 250);
  ASSERT_EQ(parse_command("send com2 A-\\x05\\r\\n", c, error), ParseResult::kCommand);
  EXPECT_EQ(c.port, 2);
  EXPECT_EQ(c.bytes, std::string("A-\x05\r\n"));
  // In send, '#' is text and quotes keep blanks.
  ASSERT_EQ(parse_command("send com1 \" #1 \"", c, error), ParseResult::kCommand);
  EXPECT_EQ(c.bytes, " #1 ");
  EXPECT_EQ(parse_command("   # only a comment", c, error), ParseResult::kBlank);
  EXPECT_EQ(parse_command("", c, error), ParseResult::kBlank);

  for (const char* bad : {"edge input 2", "edge nowhere 1", "edge 64 1", "edge input", "wait -1",
                          "wait 10ms", "quit now", "send com3 x", "send com1", "send com1 \\q",
                          "send com1 \\x", "send com1 ab\\", "frob"}) {
    error.clear();
    EXPECT_EQ(parse_command(bad, c, error), ParseResult::kError) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  std::string bytes;
  ASSERT_TRUE(decode_escapes("\\x4g\\x41\\0", bytes, error));
  EXPECT_EQ(bytes, std::string("\x04gA\0", 4));
}

TEST(CommandQueue, WaitsCountFromTheDueTimeAndTypedCommandsFromNow) {
  CommandQueue script;
  Command wait, edge;
  wait.kind = CommandKind::kWait;
  wait.ms = 100;
  edge.kind = CommandKind::kEdge;
  for (const Command& c : {wait, edge, wait, edge})
    script.push(c, 0);
  Command out;
  EXPECT_FALSE(script.take_due(99, out));
  EXPECT_EQ(script.due_in(40), 60);
  // Taken late, the next one is still due 100 ms after the first was due.
  EXPECT_TRUE(script.take_due(150, out));
  EXPECT_FALSE(script.take_due(199, out));
  EXPECT_TRUE(script.take_due(200, out));
  EXPECT_EQ(script.due_in(200), -1);

  // Typed into an idle queue, a wait counts from when it was typed.
  script.push(wait, 5000);
  script.push(edge, 5000);
  EXPECT_FALSE(script.take_due(5099, out));
  EXPECT_TRUE(script.take_due(5100, out));
}

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
  EXPECT_EQ(parse_pin("SCAN-A"), 16);
  EXPECT_EQ(parse_pin("+3"), -1);
}

}  // namespace
}  // namespace kivsim
