// SPDX-License-Identifier: MIT
// The strip module against the rpi_ws281x stand-in: its configuration, fills,
// grid bounds, palette bounds, and the driver's life cycle.
#include <gtest/gtest.h>

#include <climits>

#include "kiv_strip.h"
#include "test_support.h"
#include "ws2811_sim.h"

namespace strip = kivsim::strip;

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00;

std::vector<uint32_t> last_leds() {
  std::vector<strip::Render> r = strip::renders();
  return r.empty() ? std::vector<uint32_t>() : r.back().leds[1];
}

TEST(Strip, HandsTheFixedConfigurationToInitAndSendsNoColour) {
  ASSERT_EQ(light_ws2811_init(), 0);
  strip::ConfigSeen expected;
  expected.freq = 800000;
  expected.dmanum = 10;
  expected.channel[1] = strip::ChannelSeen{19, 0, 9, WS2811_STRIP_GBR, 255};
  EXPECT_TRUE(strip::last_init_config() == expected);
  EXPECT_EQ(strip::counts().render, 0);
  EXPECT_EQ(led_count, 9);
  EXPECT_EQ(clear_on_exit, 0);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(dotspos[i], i);
}

TEST(Strip, FillsStoreOneWordInEveryLedAndRender) {
  ASSERT_EQ(light_ws2811_init(), 0);
  struct Case {
    int index;  // palette index; -1: light_ws2811_rgb(0x01, 0x02, 0x03)
    uint32_t word;
    std::vector<uint8_t> wire;  // per LED: green, blue, red
  } cases[] = {
      {0, 0xFF0000, {0x00, 0x00, 0xFF}}, {1, 0x201000, {0x10, 0x00, 0x20}},
      {4, 0x002020, {0x20, 0x20, 0x00}}, {7, 0x200010, {0x00, 0x10, 0x20}},
      {8, 0x000000, {0x00, 0x00, 0x00}}, {-1, 0x030201, {0x02, 0x01, 0x03}},
  };
  for (const Case& c : cases) {
    strip::clear();
    EXPECT_EQ(c.index < 0 ? light_ws2811_rgb(0x01, 0x02, 0x03) : light_ws2811_color(c.index), 0);
    ASSERT_EQ(strip::renders().size(), 1u);
    EXPECT_EQ(last_leds(), std::vector<uint32_t>(9, c.word)) << std::hex << c.word;
    std::vector<uint8_t> wire;
    for (int i = 0; i < 9; ++i)
      wire.insert(wire.end(), c.wire.begin(), c.wire.end());
    EXPECT_EQ(strip::renders()[0].wire[1], wire) << std::hex << c.word;
    EXPECT_TRUE(strip::renders()[0].leds[0].empty()) << "channel 0 stays untouched";
  }
}

// Whatever the exported grid holds, a fill stores only inside the 9 LEDs
// (under ASan a store past them fails the test) and always renders.
TEST(Strip, GridDecidesWhichLedsAFillStoresAndNeverOverruns) {
  ASSERT_EQ(light_ws2811_init(), 0);
  struct Case {
    int columns, rows, stored;  // stored: LEDs 0..stored-1 turn red
    // clang-format off
  } cases[] = {{9, 1, 9}, {1, 9, 9}, {3, 3, 9}, {2, 2, 4}, {4, 2, 8}, {0, 1, 0}, {9, 0, 0},
               {-1, 9, 0}, {9, -5, 0}, {10, 1, 9}, {9, 2, 9}, {5, 5, 9}, {INT_MAX, 1, 9},
               {1, INT_MAX, 9}, {INT_MAX, INT_MAX, 9}, {INT_MIN, INT_MIN, 0}};
  // clang-format on
  for (const Case& c : cases) {
    width = 9;
    height = 1;
    ASSERT_EQ(light_ws2811_color(3), 0);  // all green
    width = c.columns;
    height = c.rows;
    int renders = strip::counts().render;
    EXPECT_EQ(light_ws2811_color(0), 0);
    EXPECT_EQ(strip::counts().render, renders + 1);
    std::vector<uint32_t> expected(9, kGreen);
    std::fill(expected.begin(), expected.begin() + c.stored, kRed);
    EXPECT_EQ(last_leds(), expected) << c.columns << " x " << c.rows;
  }
}

TEST(Strip, IndexOutsideThePaletteChangesNothing) {
  ASSERT_EQ(light_ws2811_init(), 0);
  ASSERT_EQ(light_ws2811_color(3), 0);
  for (int index : {-1, 9, 10, INT_MIN, INT_MAX})
    EXPECT_EQ(light_ws2811_color(index), -1) << index;
  EXPECT_EQ(strip::counts().render, 1);
  EXPECT_EQ(std::vector<uint32_t>(ledstring.channel[1].leds, ledstring.channel[1].leds + 9),
            std::vector<uint32_t>(9, kGreen));
}

// A fill without a running strip would crash on the board (the stand-in
// aborts); here it is refused with -1.
TEST(Strip, FillsWithoutARunningStripAreRefused) {
  // 1: never started; -3: a start that failed; 0: started, then released.
  for (int start : {1, -3, 0}) {
    strip::set_init_result(start);
    if (start <= 0)
      light_ws2811_init();
    light_ws2811_deinit();
    EXPECT_EQ(light_ws2811_color(0), -1) << start;
    EXPECT_EQ(light_ws2811_rgb(1, 2, 3), -1) << start;
    EXPECT_EQ(strip::counts().render, 0) << start;
  }
}

TEST(Strip, FailedInitPrintsTheLibraryTextAndReturnsItsCode) {
  struct Case {
    int code;
    const char* line;
  } cases[] = {
      {-3, "ws2811_init failed: Hardware revision is not supported\n"},
      {-11, "ws2811_init failed: Selected GPIO not possible\n"},
  };
  for (const Case& c : cases) {
    strip::set_init_result(c.code);
    kivtest::StderrCapture err;
    kivtest::StdoutCapture out;
    EXPECT_EQ(light_ws2811_init(), c.code);
    EXPECT_EQ(err.text(), c.line);
    EXPECT_EQ(out.text(), "");
    // Releasing after a failure is harmless (the stand-in aborts on a fini).
    EXPECT_EQ(light_ws2811_deinit(), 0);
  }
  EXPECT_EQ(strip::counts().fini, 0);
}

TEST(Strip, ReleaseAndRestartLeakNothing) {
  EXPECT_EQ(light_ws2811_deinit(), 0);  // before any initialisation
  ASSERT_EQ(light_ws2811_init(), 0);
  ASSERT_EQ(light_ws2811_init(), 0);  // over a running strip: released first
  EXPECT_EQ(strip::counts().fini, 1);
  EXPECT_EQ(strip::running_drivers(), 1);
  EXPECT_EQ(light_ws2811_deinit(), 0);
  EXPECT_EQ(light_ws2811_deinit(), 0);  // twice
  EXPECT_EQ(strip::counts().fini, 2);
  ASSERT_EQ(light_ws2811_init(), 0);  // started again from the same configuration
  EXPECT_EQ(light_ws2811_color(5), 0);
  EXPECT_EQ(last_leds(), std::vector<uint32_t>(9, 0x0000FF));
  EXPECT_EQ(light_ws2811_deinit(), 0);
  EXPECT_EQ(strip::running_drivers(), 0);
  EXPECT_EQ(strip::fault_count(), 0);
}

}  // namespace
