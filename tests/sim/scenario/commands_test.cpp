// SPDX-License-Identifier: MIT
// The launcher's commands as scripts, scenarios, typed input and the view's
// page give them, and the schedule their waits make.
#include <gtest/gtest.h>

#include "byte_text.h"
#include "command_queue.h"
#include "commands.h"
#include "test_support.h"

namespace kivsim {
namespace {

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

  // A zero byte inside a word ends neither a name nor a number early.
  const std::string zero(1, '\0');
  for (const std::string& bad : std::vector<std::string>{
           "edge input 2", "edge nowhere 1", "edge 64 1", "edge input", "wait -1", "wait 10ms",
           "quit now", "send com3 x", "send com1", "send com1 \\q", "send com1 \\x",
           "send com1 ab\\", "frob", "wait 5" + zero + "0", "edge input" + zero + "x 1",
           "edge 17" + zero + " 1", "lens set 0" + zero + "9 1", "lens set 0 1" + zero,
           "lens set 0 1" + zero + " 00 00 00"}) {
    error.clear();
    EXPECT_EQ(parse_command(bad, c, error), ParseResult::kError) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  std::string bytes;
  ASSERT_TRUE(decode_escapes("\\x4g\\x41\\0", bytes, error));
  EXPECT_EQ(bytes, std::string("\x04gA\0", 4));
}

// edge and level set the device's inputs (or a pin of no name): a level on
// an output would say nothing of what the program did, so they are refused
// when read, as the view refuses them.
TEST(Commands, EdgeAndLevelSetInputsAndRefuseTheBoardsOutputs) {
  for (const char* line : {"edge input 1", "level trigger 0", "edge TUNE 1", "level 5 1"}) {
    Command c;
    std::string error;
    EXPECT_EQ(parse_command(line, c, error), ParseResult::kCommand) << line << ": " << error;
  }
  const struct {
    const char* line;
    const char* error;
  } refused[] = {
      {"level alarm 1", "alarm (21) is an output: edge and level set inputs"},
      {"edge laser 1", "laser (13) is an output: edge and level set inputs"},
      {"level do1 0", "do1 (22) is an output: edge and level set inputs"},
      {"edge scan-b 1", "scan-b (7) is an output: edge and level set inputs"},
      {"edge 13 1", "laser (13) is an output: edge and level set inputs"},
      {"level strip 1", "strip (19) is an output: edge and level set inputs"},
  };
  for (const auto& c : refused) {
    Command cmd;
    std::string error;
    EXPECT_EQ(parse_command(c.line, cmd, error), ParseResult::kError) << c.line;
    EXPECT_EQ(error, c.error);
  }
}

// A word that names no line is answered with the lines the command takes.
TEST(Commands, AnUnknownLineIsAnsweredWithTheInputs) {
  const char* const choices = "(input, trigger, tune, or a pin number 0..63)";
  const struct {
    const char* line;
    std::string error;
  } unknown[] = {
      {"edge nowhere 1", std::string("unknown line 'nowhere' ") + choices},
      {"level 64 0", std::string("unknown line '64' ") + choices},
      {"bounce trig 1", std::string("unknown line 'trig' ") + choices},
      {"edge", "edge needs a line"},
      {"bounce", "bounce needs a line"},
  };
  for (const auto& c : unknown) {
    Command cmd;
    std::string error;
    EXPECT_EQ(parse_command(c.line, cmd, error), ParseResult::kError) << c.line;
    EXPECT_EQ(error, c.error) << c.line;
  }
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

TEST(LensCommands, EachFormIsReadAndFaultsAreNamed) {
  const struct {
    const char* line;
    LensAction action;
    int reg;
    const char* word;
  } good[] = {
      {"lens set 0 1000", LensAction::kSet, 0, "E8 03 00 00"},
      {"lens set 40 01 00 00 00", LensAction::kSet, 40, "01 00 00 00"},
      {"lens set 0x28 0xFFFFFFFF  # all ones", LensAction::kSet, 40, "FF FF FF FF"},
      {"lens nack", LensAction::kNack, 0, "00 00 00 00"},
      {"lens stuck", LensAction::kStuck, 0, "00 00 00 00"},
      {"lens mend", LensAction::kMend, 0, "00 00 00 00"},
      {"lens remove", LensAction::kRemove, 0, "00 00 00 00"},
      {"lens attach", LensAction::kAttach, 0, "00 00 00 00"},
  };
  for (const auto& c : good) {
    SCOPED_TRACE(c.line);
    Command cmd;
    std::string error;
    ASSERT_EQ(parse_command(c.line, cmd, error), ParseResult::kCommand) << error;
    EXPECT_EQ(cmd.kind, CommandKind::kLens);
    EXPECT_EQ(cmd.lens, c.action);
    EXPECT_EQ(cmd.reg, c.reg);
    EXPECT_EQ(kivtest::hex(kivtest::Bytes(cmd.word.begin(), cmd.word.end())), c.word);
  }
  const struct {
    const char* line;
    const char* error;
  } bad[] = {
      {"lens", "lens needs set, nack, stuck, mend, remove or attach"},
      {"lens fly", "unknown lens command 'fly'"},
      {"lens mend now", "unexpected 'now' after lens mend"},
      {"lens set 0", "lens set needs a register and a value, or a register and 4 hex bytes"},
      {"lens set 0 1 2 3", "lens set needs a register and a value, or a register and 4 hex bytes"},
      {"lens set 70000 1", "lens set needs a register 0 to 65535, not '70000'"},
      {"lens set 0 -1", "lens set needs a value 0 to 4294967295, not '-1'"},
      {"lens set 0 4294967296", "lens set needs a value 0 to 4294967295, not '4294967296'"},
      {"lens set 0 GG 00 00 00", "'GG' is no hex byte"},
      {"lens set 0 100 00 00 00", "'100' is no hex byte"},
  };
  for (const auto& c : bad) {
    Command cmd;
    std::string error;
    EXPECT_EQ(parse_command(c.line, cmd, error), ParseResult::kError) << c.line;
    EXPECT_EQ(error, c.error);
  }
}

// The faults of the serial peers and the inputs.
TEST(FaultCommands, EachFormIsReadAndFaultsAreNamed) {
  const struct {
    const char* line;
    CommandKind kind;
    int port, pin, edges;
    size_t noise;
  } good[] = {
      {"hangup com1", CommandKind::kHangup, 1, -1, 0, 0},
      {"reconnect com2  # back", CommandKind::kReconnect, 2, -1, 0, 0},
      {"noise com2", CommandKind::kNoise, 2, -1, 0, 16},
      {"noise com1 300", CommandKind::kNoise, 1, -1, 0, 300},
      {"bounce trigger 1", CommandKind::kBounce, 0, 12, 5, 0},
      {"bounce 5 0 2", CommandKind::kBounce, 0, 5, 2, 0},
  };
  for (const auto& c : good) {
    SCOPED_TRACE(c.line);
    Command cmd;
    std::string error;
    ASSERT_EQ(parse_command(c.line, cmd, error), ParseResult::kCommand) << error;
    EXPECT_EQ(cmd.kind, c.kind);
    EXPECT_EQ(cmd.port, c.port);
    EXPECT_EQ(cmd.pin, c.pin);
    EXPECT_EQ(cmd.edges, c.edges);
    EXPECT_EQ(cmd.bytes.size(), c.noise);
    EXPECT_EQ(cmd.bytes.find('\xFF'), std::string::npos) << "noise never holds FF";
  }
  const struct {
    const char* line;
    const char* error;
  } bad[] = {
      {"hangup", "hangup needs com1 or com2, not ''"},
      {"hangup com1 now", "unexpected 'now' after hangup com1"},
      {"noise com2 0", "noise takes a count of bytes from 1 to 4096"},
      {"bounce alarm 1", "alarm (21) is an output: bounce sets inputs"},
      {"bounce trigger 1 1", "bounce takes 2 to 99 edges"},
      {"bounce trigger 1 3 4", "bounce takes a line, a level and a count of edges"},
  };
  for (const auto& c : bad) {
    Command cmd;
    std::string error;
    EXPECT_EQ(parse_command(c.line, cmd, error), ParseResult::kError) << c.line;
    EXPECT_EQ(error, c.error);
  }
  // Noise is the same in every run; a bounce alternates and ends at its level.
  Command a, b;
  std::string error;
  parse_command("noise com1 64", a, error);
  parse_command("noise com1 64", b, error);
  EXPECT_EQ(a.bytes, b.bytes);
  parse_command("bounce input 0 4", a, error);
  std::string levels;
  for (int i = 0; i < a.edges; ++i)
    levels += std::to_string(bounce_level(a, i));
  EXPECT_EQ(levels, "1010");
}

}  // namespace
}  // namespace kivsim
