// SPDX-License-Identifier: MIT
// A scenario file as the launcher reads it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "event_stream.h"
#include "scenario.h"
#include "scenario_check.h"

namespace kivsim {
namespace {

class ScenarioFile : public testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/kiv-scenario-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/s.json";
  }
  void TearDown() override {
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  bool load(const std::string& content, Scenario& out, std::string& error) {
    std::ofstream(path_) << content;
    return load_scenario(path_, out, error);
  }
  std::string dir_, path_;
};

TEST_F(ScenarioFile, ActionsBecomeCommandsAtTheirTimesWhateverTheirOrder) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(load(R"({"settings": {"ini": "dev.ini", "cpu_serial": "10000000ABCDEF01",
                                    "strip_init_result": -3, "end": 5000},
                       "actions": [{"at": 3000, "do": "lens nack"},
                                   {"at": 1000, "do": "edge trigger 1"},
                                   {"at": 1000, "do": "send com1 A\\r\\n"}],
                       "expect": [{"exit": 0}]})",
                   s, error))
      << error;
  EXPECT_EQ(s.ini_file, dir_ + "/dev.ini");
  EXPECT_EQ(s.cpu_serial, "10000000abcdef01");
  EXPECT_TRUE(s.strip_init_set);
  EXPECT_EQ(s.strip_init_result, -3);
  // wait 1000, edge, send (same time, file order), wait 2000, lens, wait 2000, quit
  const CommandKind kinds[] = {CommandKind::kWait, CommandKind::kEdge, CommandKind::kSend,
                               CommandKind::kWait, CommandKind::kLens, CommandKind::kWait,
                               CommandKind::kQuit};
  ASSERT_EQ(s.script.size(), 7u);
  for (size_t i = 0; i < 7; ++i)
    EXPECT_EQ(s.script[i].kind, kinds[i]) << i;
  EXPECT_EQ(s.script[0].ms, 1000);
  EXPECT_EQ(s.script[2].bytes, "A\r\n");
  EXPECT_EQ(s.script[3].ms, 2000);
  EXPECT_EQ(s.script[5].ms, 2000);
}

TEST_F(ScenarioFile, TheKernelAndTheI2cAdapterAreSettings) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(load(R"({"settings": {"kernel_cmdline": "console=serial0,115200",
                                    "kernel_modules": ["snd_bcm2835"], "i2c_funcs": 8},
                       "expect": [{"exit": 0}]})",
                   s, error))
      << error;
  EXPECT_TRUE(s.kernel_cmdline_set && s.kernel_modules_set);
  EXPECT_EQ(s.kernel_cmdline, "console=serial0,115200");
  EXPECT_EQ(s.kernel_modules, std::vector<std::string>{"snd_bcm2835"});
  EXPECT_EQ(s.i2c_funcs, 8);
  for (const char* bad :
       {R"({"settings": {"kernel_modules": "snd_bcm2835"}})",
        R"({"settings": {"kernel_modules": [1]}})", R"({"settings": {"i2c_funcs": -1}})"}) {
    Scenario x;
    EXPECT_FALSE(load(bad, x, error)) << bad;
    EXPECT_NE(error.find("settings."), std::string::npos) << error;
  }
}

TEST_F(ScenarioFile, ExpectationsAreReadAndDescribed) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(load(R"({"expect": [
      {"at": 1200, "line": "alarm", "level": 1},
      {"at": 1200, "line": 5, "level": 0},
      {"at": 100, "strip": ["ff0000", "#00FF00"]},
      {"at": 100, "light": {"light": true, "channels": [true, false, false, true]}},
      {"by": 2000, "com2": "392D01 0D0A"},
      {"name": "ends", "exit": 3}]})",
                   s, error))
      << error;
  ASSERT_EQ(s.expectations.size(), 6u);
  const char* described[] = {
      "line alarm (21) is 1 at 1.200 s",
      "line pin 5 is 0 at 1.200 s",
      "strip shows ff0000 00ff00 at 0.100 s",
      "light controller has channel 1 1, channel 2 0, channel 3 0, channel 4 1, light 1 at 0.100 s",
      "com2 received the frame 39 2D 01 0D 0A by 2.000 s",
      "the program exits with status 3"};
  for (size_t i = 0; i < 6; ++i)
    EXPECT_EQ(describe_expectation(s.expectations[i]), described[i]);
  EXPECT_EQ(s.expectations[5].where, "expect[5] \"ends\"");

  // The states judged against events of the run, as the stream folds them.
  ScenarioCheck check(s.expectations);
  EventStream stream(0);
  stream.subscribe([&check](const Event& e) { check.see(e); });
  Event render;
  render.source = EventSource::kStrip;
  render.kind = EventKind::kRender;
  render.leds = {0xff0000, 0x00ff00};
  stream.post(render);
  Event light;
  light.source = EventSource::kLight;
  light.kind = EventKind::kState;
  light.light.light_on = true;
  light.light.channel_on[0] = true;
  stream.post(light);
  Event frame;
  frame.source = EventSource::kCom2;
  frame.kind = EventKind::kFrame;
  frame.bytes = std::string("\x39\x2D\x01\x0D\x0A", 5);
  frame.time_ns = 2100000000;  // too late
  stream.post(frame);
  Event exit;
  exit.kind = EventKind::kExit;
  exit.result = 3;
  exit.time_ns = frame.time_ns;
  stream.post(exit);
  stream.close();
  std::vector<std::string> failures = check.failures();
  ASSERT_EQ(failures.size(), 4u);
  EXPECT_NE(failures[0].find("but the program never wrote it"), std::string::npos) << failures[0];
  EXPECT_NE(failures[1].find("but the line was never set"), std::string::npos) << failures[1];
  EXPECT_NE(failures[2].find("but channel 4 was 0 (since 0.000 s)"), std::string::npos)
      << failures[2];
  EXPECT_NE(failures[3].find("but it came at 2.100 s, too late"), std::string::npos) << failures[3];
}

TEST_F(ScenarioFile, AnActionOnAnOutputIsRefusedWhenRead) {
  Scenario s;
  std::string error;
  EXPECT_FALSE(load(R"({"actions": [{"at": 10, "do": "edge trigger 1"},
                                    {"at": 20, "do": "level DO2 1"}],
                       "expect": [{"exit": 0}]})",
                    s, error));
  EXPECT_EQ(error, "scenario " + path_ +
                       ": actions[1].do: do2 (27) is an output: edge and level "
                       "set inputs");
}

// A line is read by its name or its older spelling, in any case, and written
// by its name; a word that names none is answered with the names.
TEST_F(ScenarioFile, LinesAreReadByAnySpellingAndRefusedWithTheNames) {
  const struct {
    const char* expect;
    int pin;
  } read[] = {
      {R"({"at": 1, "line": "scan A", "level": 1})", 16},
      {R"({"at": 1, "line": "SCAN-B", "level": 1})", 7},
      {R"({"at": 1, "line": "DO1", "level": 1})", 22},
      {R"({"when": "scan a rises", "line": "alarm", "level": 1})", 16},
      {R"({"when": {"line": "Scan B", "level": 0}, "line": "alarm", "level": 1})", 7},
  };
  for (const auto& c : read) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(load(std::string(R"({"expect": [)") + c.expect + "]}", s, error)) << error;
    const Expectation& x = s.expectations.at(0);
    EXPECT_EQ(x.when ? x.when->pin : x.pin, c.pin) << c.expect;
  }
  Scenario named;
  std::string error;
  ASSERT_TRUE(load(R"({"expect": [{"at": 1, "line": "scan A", "level": 1}]})", named, error));
  EXPECT_EQ(describe_expectation(named.expectations[0]), "line scan-a (16) is 1 at 0.001 s");

  const std::string names =
      "laser, alarm, scan-a, scan-b, do1, do2, input, trigger, tune, strip, or a pin number 0..63";
  const struct {
    const char* expect;
    std::string error;
  } refused[] = {
      {R"({"at": 1, "line": "beacon", "level": 1})",
       "expect[0].line: must name a line (" + names + ")"},
      {R"({"at": 1, "line": 64, "level": 1})",
       "expect[0].line: must be a whole number from 0 to 63"},
      {R"({"when": "beacon rises", "line": "alarm", "level": 1})",
       "expect[0].when: must be \"<line> rises\", \"<line> falls\" or an object (a line: " + names +
           ")"},
  };
  for (const auto& c : refused) {
    Scenario s;
    EXPECT_FALSE(load(std::string(R"({"expect": [)") + c.expect + "]}", s, error)) << c.expect;
    EXPECT_EQ(error, "scenario " + path_ + ": " + c.error);
  }
}

// A number beyond a double is no parse error to the JSON library but an
// error of its own kind: it is refused as well, not thrown out of the reader.
TEST_F(ScenarioFile, ANumberTooLargeForADoubleIsRefused) {
  Scenario s;
  std::string error;
  EXPECT_FALSE(load(R"({"expect": [{"at": 1e400, "exit": 0}]})", s, error));
  EXPECT_EQ(error, "scenario " + path_ + ": number overflow parsing '1e400'");
}

}  // namespace
}  // namespace kivsim
