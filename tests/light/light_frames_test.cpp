// SPDX-License-Identifier: MIT
// The light controller frames as the controller receives them on the far side
// of port index 1, and the write pause that follows each of them.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "config_fixture.h"
#include "kiv_config.h"
#include "kiv_serial.h"
#include "light_controller.h"
#include "test_support.h"

using kivsim::Sandbox;
using kivtest::bytes;
using kivtest::hex;
using std::chrono::milliseconds;

namespace {

class LightFrames : public testing::Test {
 protected:
  void SetUp() override { KIV_REQUIRE_SANDBOX(); }

  // A board with CPU serial number `serial` and the configuration `ini` (""
  // for none), "/dev/com1" open as index 0 and "/dev/com2", the controller, as 1.
  void start(const std::string& ini, bool open_controller = true,
             const std::string& serial = kivtest::serial_not_in_table()) {
    ASSERT_TRUE(Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(serial)));
    if (!ini.empty()) {
      ASSERT_TRUE(kivtest::replace_config_file(ini));
    }
    other_ = Sandbox::add_port("/dev/com1");
    ASSERT_GE(other_, 0);
    char com1[] = "/dev/com1";
    ASSERT_EQ(SerialPortInit(com1, 115200), 0);
    if (!open_controller)
      return;
    int line = Sandbox::add_port("/dev/com2");
    ASSERT_GE(line, 0);
    controller_ = std::make_unique<kivsim::LightController>(line);
    char com2[] = "/dev/com2";
    ASSERT_EQ(SerialPortInit(com2, 115200), 0);
  }

  void TearDown() override {
    svSerialFree(0);
    svSerialFree(1);
  }

  // The next frame the controller received, in hex.
  std::string frame() { return kivsim::frames_hex(controller_->collect(1)); }
  bool line_is_quiet() { return controller_->collect(0).empty(); }

  int other_ = -1;
  std::unique_ptr<kivsim::LightController> controller_;
};

template <typename F>
milliseconds time_of(F f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
}

}  // namespace

TEST_F(LightFrames, ChannelFramesByteForByte) {
  start("");
  for (int channel = 1; channel <= 4; ++channel) {
    for (int state : {1, 0}) {
      ASSERT_EQ(svSetLightCtl(channel, state), 0);
      EXPECT_EQ(frame(), hex(bytes({0x30 + channel, 0x2D, 0x30 + state, 0x0D, 0x0A})));
    }
  }
  ASSERT_EQ(svSetLightCtl(3, 0x102), 0);  // the state's low byte, added to "0"
  EXPECT_EQ(frame(), "33 2D 32 0D 0A");
  for (int channel : {0, 5, -1, 0x31})
    EXPECT_EQ(svSetLightCtl(channel, 1), -1) << channel;
  EXPECT_TRUE(line_is_quiet());
}

TEST_F(LightFrames, BrightnessFramesByteForByte) {
  start("");
  struct {
    int value;
    const char* sent;
  } cases[] = {{20, "43 2D 00 14 0D 0A"},
               {24, "43 2D 00 18 0D 0A"},
               {256, "43 2D 01 00 0D 0A"},  // a zero byte inside the frame
               {479, "43 2D 01 DF 0D 0A"}};
  for (const auto& c : cases) {
    ASSERT_EQ(svSetBrightnessValue(c.value), 0);
    EXPECT_EQ(frame(), c.sent) << c.value;
  }
  for (int value : {19, 480, 0, -1})
    EXPECT_EQ(svSetBrightnessValue(value), -1) << value;
  EXPECT_TRUE(line_is_quiet());
}

TEST_F(LightFrames, ConfiguredChannelOutsideOneToFourSendsNothing) {
  start("[LIGHT]\nsection_1 = 7\nsection_2 = -2\n");
  EXPECT_EQ(svSetLightCtl(firmware_index_v2(1), 1), -1);
  EXPECT_EQ(svSetLightCtl(firmware_index_v2(2), 1), -1);
  EXPECT_TRUE(line_is_quiet());
}

TEST_F(LightFrames, ConfiguredPauseFollowsEachFrameButNotWritesToIndex0) {
  start("[CMD]\ntimeout_ns = 1000\n");
  char data[] = "abc";
  EXPECT_LT(time_of([&] { EXPECT_EQ(svWriteSerial(data, 3, 0), 0); }), milliseconds(500));
  EXPECT_EQ(hex(kivtest::read_bytes(other_, 3, milliseconds(2000))), "61 62 63");
  EXPECT_GE(time_of([] { EXPECT_EQ(svSetLightCtl(2, 1), 0); }), milliseconds(1000));
  EXPECT_EQ(frame(), "32 2D 31 0D 0A");
  EXPECT_GE(time_of([] { EXPECT_EQ(svSetBrightnessValue(300), 0); }), milliseconds(1000));
  EXPECT_EQ(frame(), "43 2D 01 2C 0D 0A");
}

TEST_F(LightFrames, UpdatedDeviceSendsSection1OnChannel3AndPauses2Ms) {
  start("", true, kivtest::serial_in_table());
  EXPECT_GE(time_of([] { EXPECT_EQ(svSetLightCtl(firmware_index_v2(1), 1), 0); }), milliseconds(2));
  EXPECT_EQ(frame(), "33 2D 31 0D 0A");
}

TEST_F(LightFrames, ClosedControllerPortFailsAfterThePause) {
  start("[CMD]\ntimeout_ns = 20\n", false);
  kivtest::StdoutCapture out;
  EXPECT_GE(time_of([] { EXPECT_EQ(svSetLightCtl(1, 1), -1); }), milliseconds(20));
  EXPECT_GE(time_of([] { EXPECT_EQ(svSetBrightnessValue(24), -1); }), milliseconds(20));
  EXPECT_EQ(out.text(), "write serial error\r\nwrite serial error\r\n");
  EXPECT_TRUE(kivtest::drain(other_).empty());
}

TEST_F(LightFrames, NegativePauseOfAFailingFileMeansNoPause) {
  // The failing file keeps its negative value in force; a pause taken from it
  // as a magnitude would last 100 s.
  start("[CMD]\ntimeout_ns = -100000\nunknown = 1\n");
  ASSERT_EQ(firmware_index_v2(5), -100000);
  EXPECT_LT(time_of([] { EXPECT_EQ(svSetLightCtl(4, 1), 0); }), milliseconds(5000));
  EXPECT_EQ(frame(), "34 2D 31 0D 0A");
}
