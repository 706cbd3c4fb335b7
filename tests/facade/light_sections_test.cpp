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
  int channel[4];  // of sections 1..4; outside 1..4 nothing is sent
};
void PrintTo(const Board& board, std::ostream* os) {
  *os << board.name;
}

class LightSections : public LightControllerTest, public testing::WithParamInterface<Board> {};

TEST_P(LightSections, EachSectionReachesItsChannelAndOthersAreRefused) {
  const Board& board = GetParam();
  start(board.ini, board.updated ? serial_in_table() : serial_not_in_table());
  for (bool on : {true, false}) {
    for (int section = 0; section <= 5; ++section) {
      SCOPED_TRACE(testing::Message() << "section " << section << (on ? " on" : " off"));
      int result = on ? io_->enableLightSection(section) : io_->disableLightSection(section);
      int channel = section >= 1 && section <= 4 ? board.channel[section - 1] : 0;
      bool valid = channel >= 1 && channel <= 4;
      EXPECT_EQ(result, channel == 0 ? (on ? 1 : -1) : valid ? 0 : -1);
      char frame[32] = "";
      if (valid)
        std::snprintf(frame, sizeof frame, "3%d 2D 3%d 0D 0A", channel, on ? 1 : 0);
      EXPECT_EQ(sent(valid ? 1 : 0), frame);
      EXPECT_TRUE(!valid || controller_->state().channel_on[channel - 1] == on);
    }
  }
  EXPECT_EQ(printed(), "");
}

const Board kBoards[] = {
    {"plain", false, "", {1, 2, 3, 4}},
    {"updated", true, "", {3, 2, 1, 4}},
    {"configured", false, "[LIGHT]\nsection_2 = 4\nsection_4 = 7\n", {1, 4, 3, 7}},
};
INSTANTIATE_TEST_SUITE_P(Boards, LightSections, testing::ValuesIn(kBoards));

TEST_F(LightControllerTest, WorkModeSendsItsLowByteAndStoresTheWholeNumber) {
  start();
  EXPECT_EQ(io_->workMode, 1);
  const std::pair<int, std::string> cases[] = {{5, "05"}, {261, "05"}, {-1, "FF"}, {0x30, "30"}};
  for (const auto& [mode, byte] : cases) {
    EXPECT_EQ(io_->setWorkMode(mode), 0);
    EXPECT_EQ(sent(1), "35 2D " + byte + " 0D 0A");
    EXPECT_EQ(printed(), "[KIV-IO] Work mode(" + std::to_string(mode) + "): 0\n");
    EXPECT_EQ(io_->workMode, mode);
  }
}

}  // namespace
}  // namespace kivtest
