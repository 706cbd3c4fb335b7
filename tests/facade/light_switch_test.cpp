// SPDX-License-Identifier: MIT
// Switching the light on and off, the flash commands and the generic command:
// frames, results, printed lines, the light-on flag and the stored work mode.
#include "facade_test_util.h"
#include "light_fixture.h"

namespace kivtest {
namespace {

using kiv::KivIo;

enum class Op { kOpen, kClose, kCmdLightOff, kWorkMode261, kNewInstance };

struct Step {
  Op op;
  int result;
  const char* frames;
  int flag;
  bool light;  // as the controller has it
  const char* printed;
};

int run(KivIo*& io, Op op) {
  switch (op) {
    case Op::kOpen:
      return io->open_light();
    case Op::kClose:
      return io->close_light();
    case Op::kCmdLightOff:
      return io->callCmd('9', 0x00);
    case Op::kWorkMode261:
      return io->setWorkMode(261);
    case Op::kNewInstance:  // the work mode of the new instance
      KivIo::close_io();
      io = KivIo::getInstance();
      return io->workMode;
  }
  return -100;
}

TEST_F(LightControllerTest, LightOnAndOffFollowTheFlag) {
  start();
  const char* kMode5 = "[KIV-IO] Work mode(5): 0\n";
  const Step steps[] = {
      {Op::kOpen, 0, "35 2D 05 0D 0A | 39 2D 01 0D 0A", 1, true, kMode5},
      {Op::kOpen, 1, "", 1, true, ""},
      {Op::kClose, 0, "39 2D 00 0D 0A", 0, false, ""},
      {Op::kClose, 0, "", 0, false, ""},
      {Op::kOpen, 0, "39 2D 01 0D 0A", 1, true, ""},  // work mode 5 is kept
      {Op::kCmdLightOff, 0, "39 2D 00 0D 0A", 1, false, ""},
      {Op::kOpen, 1, "", 1, false, ""},
      {Op::kClose, 0, "39 2D 00 0D 0A", 0, false, ""},
      {Op::kWorkMode261, 0, "35 2D 05 0D 0A", 0, false, "[KIV-IO] Work mode(261): 0\n"},
      {Op::kOpen, 0, "35 2D 05 0D 0A | 39 2D 01 0D 0A", 1, true, kMode5},
      // The flag outlives the instance; the work mode does not.
      {Op::kNewInstance, 1, "", 1, true, ""},
      {Op::kOpen, 1, "", 1, true, ""},
      {Op::kClose, 0, "39 2D 00 0D 0A", 0, false, ""},
      {Op::kOpen, 0, "35 2D 05 0D 0A | 39 2D 01 0D 0A", 1, true, kMode5},
  };
  for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
    const Step& s = steps[i];
    SCOPED_TRACE(testing::Message() << "step " << i);
    if (s.op == Op::kNewInstance) {
      // Closing drops the ports; the new instance needs them again.
      EXPECT_EQ(run(io_, s.op), 1);
      io_->setup();
      EXPECT_EQ(sent(1), "43 2D 00 18 0D 0A");
      EXPECT_EQ(light_flag(), 1);
      printed();
      continue;
    }
    EXPECT_EQ(run(io_, s.op), s.result);
    EXPECT_EQ(sent(), s.frames);
    EXPECT_EQ(light_flag(), s.flag);
    EXPECT_EQ(printed(), s.printed);
    EXPECT_EQ(controller_->state().light_on, s.light);
  }
  EXPECT_EQ(controller_->state().work_mode, 5);
}

TEST_F(LightControllerTest, FlashAndGenericCommandsSendRawArgumentBytes) {
  start();
  struct {
    void (*action)(KivIo*);
    const char* frame;
  } cases[] = {
      {[](KivIo* io) { io->callLightFlash(); }, "36 2D 31 0D 0A"},
      {[](KivIo* io) { io->setLightFlashCount(10); }, "37 2D 0A 0D 0A"},
      {[](KivIo* io) { io->setLightFlashCount(300); }, "37 2D 2C 0D 0A"},
      {[](KivIo* io) { io->setLightFlashTime(-1); }, "38 2D FF 0D 0A"},
      {[](KivIo* io) { io->setLightFlashTime(256); }, "38 2D 00 0D 0A"},
      {[](KivIo* io) { EXPECT_EQ(io->callCmd('A', '\r'), 0); }, "41 2D 0D 0D 0A"},
      {[](KivIo* io) { EXPECT_EQ(io->callCmd('\xFF', '\0'), 0); }, "FF 2D 00 0D 0A"},
  };
  for (const auto& c : cases) {
    c.action(io_);
    EXPECT_EQ(sent(1), c.frame);
  }
  const kivsim::LightControllerState& state = controller_->state();
  EXPECT_EQ(state.flashes, 1);
  EXPECT_EQ(state.flash_count, 0x2C);
  EXPECT_EQ(state.flash_time, 0);
  EXPECT_EQ(state.unknown_frames, 2u);
  EXPECT_EQ(printed(), "");
  EXPECT_EQ(light_flag(), 0);
}

TEST_F(LightControllerTest, WithoutTheControllerPortFailuresAreReturnedOrPrinted) {
  // "/dev/com1" takes index 0; index 1 stays without a port.
  ASSERT_TRUE(kivsim::Sandbox::set_cpuinfo(cpuinfo_with_serial(serial_not_in_table())));
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  out_ = std::make_unique<StdoutCapture>();
  io_ = KivIo::getInstance();
  io_->setup();
  // The brightness frame fails, and so does installing the notification handler.
  std::string setup = printed();
  EXPECT_EQ(count_of(setup, "write serial error\r\n"), 1) << setup;
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
  EXPECT_EQ(io_->disableLightSection(2), -1);
  io_->callLightFlash();
  EXPECT_EQ(io_->close_light(), 0);
  EXPECT_EQ(light_flag(), 0);
  EXPECT_EQ(printed(), kFailed + "[KIV-IO] Work mode(7): -1\n" + kFailed + kFailed + kFailed +
                           kFailed + kFailed);
}

}  // namespace
}  // namespace kivtest
