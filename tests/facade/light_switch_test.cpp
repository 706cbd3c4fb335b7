// SPDX-License-Identifier: MIT
// Switching the light on and off, the flash commands and the generic command:
// frames, results, printed lines, the light-on flag and the stored work mode.
#include <thread>

#include "facade_test_util.h"
#include "light_fixture.h"

namespace kivtest {
namespace {

using kiv::KivIo;

TEST_F(LightControllerTest, LightOnAndOffFollowTheFlag) {
  start();
  int (*open)() = [] { return KivIo::getInstance()->open_light(); };
  int (*close)() = [] { return KivIo::getInstance()->close_light(); };
  int (*cmd_off)() = [] { return KivIo::getInstance()->callCmd('9', 0x00); };
  int (*mode_261)() = [] { return KivIo::getInstance()->setWorkMode(261); };
  int (*new_instance)() = [] {  // closing drops the ports: set the new one up
    KivIo::close_io();
    KivIo::getInstance()->setup();
    return KivIo::getInstance()->workMode;
  };
  const char* kMode5 = "[KIV-IO] Work mode(5): 0\n";
  const char* kOnFrames = "35 2D 05 0D 0A | 39 2D 01 0D 0A";
  const char* kOff = "39 2D 00 0D 0A";
  const struct {
    int (*op)();
    int result;
    const char* frames;
    int flag;
    const char* printed;
  } steps[] = {
      {open, 0, kOnFrames, 1, kMode5},
      {open, 1, "", 1, ""},
      {close, 0, kOff, 0, ""},
      {close, 0, "", 0, ""},
      {open, 0, "39 2D 01 0D 0A", 1, ""},  // work mode 5 is kept
      {cmd_off, 0, kOff, 1, ""},
      {open, 1, "", 1, ""},
      {close, 0, kOff, 0, ""},
      {mode_261, 0, "35 2D 05 0D 0A", 0, "[KIV-IO] Work mode(261): 0\n"},
      {open, 0, kOnFrames, 1, kMode5},
      // The flag outlives the instance; the work mode does not.
      {new_instance, 1, "43 2D 00 18 0D 0A", 1, nullptr},
      {open, 1, "", 1, ""},
      {close, 0, kOff, 0, ""},
      {open, 0, kOnFrames, 1, kMode5},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(&s - steps);
    EXPECT_EQ(s.op(), s.result);
    EXPECT_EQ(sent(), s.frames);
    EXPECT_EQ(light_flag(), s.flag);
    std::string text = printed();
    EXPECT_TRUE(!s.printed || text == s.printed) << text;
  }
}

// Reads the line until the controller is in work mode `mode`.
bool reaches_mode(kivsim::LightController& controller, int mode) {
  while (controller.state().work_mode != mode)
    if (!controller.read_line(3000))
      return false;
  return true;
}

// setWorkMode on one thread and open_light on another, the second called
// while the first's frame pause runs: the light-on frame still reaches the
// controller in work mode 5, and workMode names the last mode frame sent.
TEST_F(LightControllerTest, WorkModeAndLightOnTakeTurns) {
  start("[CMD]\ntimeout_ns = 200\n");  // a wide window after each frame
  for (bool light_first : {false, true}) {
    SCOPED_TRACE(light_first ? "light first" : "work mode first");
    io_->close_light();
    io_->setWorkMode(light_first ? 1 : 5);
    sent();
    std::thread first([&] {
      if (light_first)
        io_->open_light();
      else
        io_->setWorkMode(3);
    });
    const bool met = reaches_mode(*controller_, light_first ? 5 : 3);
    if (met && light_first)
      io_->setWorkMode(3);
    else if (met)
      io_->open_light();
    first.join();
    ASSERT_TRUE(met);

    int light_on_frames = 0;
    for (const kivsim::LightEvent& event : controller_->collect(0)) {
      if (event.frame.bytes != std::string("9-\1\r\n", 5))
        continue;
      ++light_on_frames;
      EXPECT_EQ(event.after.work_mode, 5) << "the light went on in another work mode";
    }
    EXPECT_EQ(light_on_frames, 1);
    EXPECT_EQ(io_->workMode, controller_->state().work_mode);
  }
}

TEST_F(LightControllerTest, FlashAndGenericCommandsSendRawArgumentBytes) {
  start();
  const std::pair<void (*)(KivIo*), const char*> cases[] = {
      {[](KivIo* io) { io->callLightFlash(); }, "36 2D 31 0D 0A"},
      {[](KivIo* io) { io->setLightFlashCount(10); }, "37 2D 0A 0D 0A"},
      {[](KivIo* io) { io->setLightFlashCount(300); }, "37 2D 2C 0D 0A"},
      {[](KivIo* io) { io->setLightFlashTime(-1); }, "38 2D FF 0D 0A"},
      {[](KivIo* io) { io->setLightFlashTime(256); }, "38 2D 00 0D 0A"},
      {[](KivIo* io) { EXPECT_EQ(io->callCmd('A', '\r'), 0); }, "41 2D 0D 0D 0A"},
  };
  for (const auto& [action, frame] : cases) {
    action(io_);
    EXPECT_EQ(sent(1), frame);
  }
  EXPECT_EQ(printed(), "");
}

TEST_F(LightControllerTest, WithoutTheControllerPortFailuresAreReturnedOrPrinted) {
  start("", serial_not_in_table(), false);
  std::string setup = printed();  // the brightness frame fails, and so does step 13
  EXPECT_EQ(count_of(setup, "write serial error\r\n"), 1);
  EXPECT_NE(setup.find("set serial callback error\r\n[IO] setup ok!\n"), std::string::npos);

  const std::string kFailed = "write serial error\r\n";
  EXPECT_EQ(io_->open_light(), 0);
  EXPECT_EQ(printed(), kFailed + "[KIV-IO] Work mode(5): -1\n" + kFailed);
  EXPECT_EQ(light_flag(), 1);
  EXPECT_EQ(io_->workMode, 5);
  EXPECT_EQ(io_->setWorkMode(7), -1);
  EXPECT_EQ(io_->workMode, 7);
  EXPECT_EQ(io_->callCmd('6', '1'), -1);
  EXPECT_EQ(io_->enableLightSection(2), -1);
  EXPECT_EQ(io_->close_light(), 0);
  EXPECT_EQ(light_flag(), 0);
  EXPECT_EQ(printed(), kFailed + "[KIV-IO] Work mode(7): -1\n" + kFailed + kFailed + kFailed);
}

}  // namespace
}  // namespace kivtest
