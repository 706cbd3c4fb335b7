// SPDX-License-Identifier: MIT
// The launcher's lens parts on their own: the lens commands, the way the I2C
// layer is preloaded, and the lines between the layer and the launcher.
#include <gtest/gtest.h>

#include "commands.h"
#include "i2c_wire.h"
#include "preload.h"
#include "test_support.h"

namespace kivsim {
namespace {

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

TEST(LayerPreload, SanitizerRuntimesLeadAndAnEmulatedProgramGetsItThroughTheEmulator) {
  std::vector<std::string> runtimes = sanitizer_runtimes("/proc/self/exe");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  ASSERT_FALSE(runtimes.empty());
  EXPECT_TRUE(runtimes[0].find("san.so") != std::string::npos) << runtimes[0];
#else
  EXPECT_TRUE(runtimes.empty()) << runtimes[0];
#endif
  EXPECT_TRUE(sanitizer_runtimes("/nonexistent").empty());
  EXPECT_TRUE(sanitizer_runtimes("/proc/self/cmdline").empty());

  std::string lead;
  for (const std::string& r : runtimes)
    lead += r + ":";
  std::vector<std::string> program = {"/proc/self/exe", "arg"}, env;
  preload_library(program, env, "/lib/layer.so", "/host/other.so");
  EXPECT_EQ(program, (std::vector<std::string>{"/proc/self/exe", "arg"}));
  EXPECT_EQ(env, std::vector<std::string>{"LD_PRELOAD=" + lead + "/lib/layer.so:/host/other.so"});

  program = {"/usr/bin/qemu-aarch64", "-L", "/x", "/proc/self/exe", "arg"};
  env.clear();
  preload_library(program, env, "/lib/layer.so", "/host/other.so");
  EXPECT_EQ(program, (std::vector<std::string>{"/usr/bin/qemu-aarch64", "-E",
                                               "LD_PRELOAD=" + lead + "/lib/layer.so", "-L", "/x",
                                               "/proc/self/exe", "arg"}));
  EXPECT_TRUE(env.empty());
}

TEST(I2cWire, RequestsAndRepliesCarryEveryField) {
  std::vector<i2c::Message> sent(2);
  sent[0].addr = 0x18;
  sent[0].len = 2;
  sent[0].data = {0x00, 0x28};
  sent[1].addr = 0x18;
  sent[1].flags = i2c::kFlagRead | i2c::kFlagTenBit;
  sent[1].len = 4;
  const std::string request = i2c::encode_request(2, sent);
  EXPECT_EQ(request, "rdwr 2 18:0:2:0028 18:11:4");
  unsigned requested = 0;
  std::vector<i2c::Message> got;
  ASSERT_TRUE(i2c::decode_request(request, requested, got));
  EXPECT_EQ(requested, 2u);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].flags, sent[1].flags);
  EXPECT_EQ(i2c::describe_message(got[0]), "write 18 [00 28]");
  for (const char* line : {"rdwr", "rdwr x", "rdwr 1 18:0", "rdwr 1 18:0:2:002", "rdwr 1 1:0:1:ZZ",
                           "open 1", "rdwr 1 10000:0:1:00"})
    EXPECT_FALSE(i2c::decode_request(line, requested, got)) << line;

  ASSERT_TRUE(i2c::decode_request(request, requested, got));
  got[1].data = {0xE8, 0x03, 0x55, 0x66};
  EXPECT_EQ(i2c::encode_reply(2, got), "2 E8035566");
  EXPECT_EQ(i2c::encode_reply(-121, got), "-121");
  int result = 0;
  ASSERT_TRUE(i2c::decode_reply("2 E8035566", result, sent));
  EXPECT_EQ(result, 2);
  EXPECT_EQ(kivtest::hex(sent[1].data), "E8 03 55 66");
  EXPECT_TRUE(i2c::decode_reply("-110", result, sent));
  EXPECT_EQ(result, -110);
  EXPECT_FALSE(i2c::decode_reply("2 E803", result, sent)) << "a short read is no reply";
  EXPECT_FALSE(i2c::decode_reply("two", result, sent));
}

}  // namespace
}  // namespace kivsim
