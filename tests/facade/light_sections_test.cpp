// SPDX-License-Identifier: MIT
// Light sections on each board variant and with a configured mapping, and the
// work mode: frames byte for byte, results, printed lines and stored mode.
#include "light_fixture.h"

namespace kivtest {
namespace {

struct Board {
  const char* name;
  bool updated;
  const char* ini;
  int channel[4];  // controller channel of sections 1..4 (outside 1..4: nothing sent)
};

const Board kBoards[] = {
    {"plain", false, "", {1, 2, 3, 4}},
    {"updated", true, "", {3, 2, 1, 4}},
    {"configured", false, "[LIGHT]\nsection_2 = 4\nsection_4 = 7\n", {1, 4, 3, 7}},
};

void PrintTo(const Board& board, std::ostream* os) {
  *os << board.name;
}

class LightSections : public LightControllerTest, public testing::WithParamInterface<Board> {};

std::string channel_frame(int channel, bool on) {
  char text[32];
  std::snprintf(text, sizeof text, "3%d 2D 3%d 0D 0A", channel, on ? 1 : 0);
  return text;
}

TEST_P(LightSections, EachSectionReachesItsChannelAndOthersAreRefused) {
  const Board& board = GetParam();
  start(board.ini, board.updated ? serial_in_table() : serial_not_in_table());
  for (bool on : {true, false}) {
    for (int section = 0; section <= 5; ++section) {
      SCOPED_TRACE(testing::Message() << "section " << section << (on ? " on" : " off"));
      int result = on ? io_->enableLightSection(section) : io_->disableLightSection(section);
      if (section < 1 || section > 4) {
        EXPECT_EQ(result, on ? 1 : -1);
        EXPECT_EQ(sent(), "");
        continue;
      }
      int channel = board.channel[section - 1];
      bool valid = channel >= 1 && channel <= 4;
      EXPECT_EQ(result, valid ? 0 : -1);
      EXPECT_EQ(sent(valid ? 1 : 0), valid ? channel_frame(channel, on) : "");
      if (valid) {
        EXPECT_EQ(controller_->state().channel_on[channel - 1], on);
      }
    }
  }
  EXPECT_EQ(printed(), "");
  EXPECT_EQ(controller_->state().unknown_frames, 0u);
}

std::string board_name(const testing::TestParamInfo<Board>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Boards, LightSections, testing::ValuesIn(kBoards), board_name);

TEST_F(LightControllerTest, WorkModeSendsItsLowByteAndStoresTheWholeNumber) {
  start();
  EXPECT_EQ(io_->workMode, 1);
  struct {
    int mode;
    const char* frame;
  } cases[] = {{5, "35 2D 05 0D 0A"},
               {261, "35 2D 05 0D 0A"},
               {-1, "35 2D FF 0D 0A"},
               {0x30, "35 2D 30 0D 0A"},
               {0, "35 2D 00 0D 0A"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(io_->setWorkMode(c.mode), 0);
    EXPECT_EQ(sent(1), c.frame);
    EXPECT_EQ(printed(), "[KIV-IO] Work mode(" + std::to_string(c.mode) + "): 0\n");
    EXPECT_EQ(io_->workMode, c.mode);
  }
  EXPECT_EQ(controller_->state().work_mode, 0);
}

}  // namespace
}  // namespace kivtest
