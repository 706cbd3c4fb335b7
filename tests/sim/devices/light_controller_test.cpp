// SPDX-License-Identifier: MIT
// The light controller's model: frames cut from the byte stream however the
// reads fall, named, and applied to the controller's state.
#include <gtest/gtest.h>

#include "byte_text.h"
#include "light_controller.h"
#include "light_frames.h"

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

}  // namespace
}  // namespace kivsim
