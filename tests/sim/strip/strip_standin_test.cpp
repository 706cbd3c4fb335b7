// SPDX-License-Identifier: MIT
// The rpi_ws281x stand-in on its own: results and texts of the real library,
// buffers and wire order, and the calls that crash on the board.
#include <gtest/gtest.h>
#include <unistd.h>
#include <ws2811.h>

#include "ws2811_sim.h"

namespace strip = kivsim::strip;

namespace {

ws2811_t one_channel(int gpio, int type, int brightness) {
  ws2811_t s{};
  s.freq = WS2811_TARGET_FREQ;
  s.dmanum = 10;
  s.channel[1].gpionum = gpio;
  s.channel[1].count = 3;
  s.channel[1].strip_type = type;
  s.channel[1].brightness = static_cast<uint8_t>(brightness);
  return s;
}

TEST(StripStandIn, InitResultsAndTheirTexts) {
  struct Case {
    int chosen, gpio0, gpio1, expected;
    const char* text;
  } cases[] = {
      {0, 0, 19, 0, "Success"},
      {0, 18, 13, 0, "Success"},
      {-3, 0, 19, -3, "Hardware revision is not supported"},
      {0, 0, 18, -11, "Selected GPIO not possible"},
      {0, 13, 19, -11, "Selected GPIO not possible"},
      {-14, 0, 19, -14, "SPI transfer error"},
  };
  for (const Case& c : cases) {
    strip::set_init_result(c.chosen);
    ws2811_t s = one_channel(c.gpio1, WS2811_STRIP_GBR, 255);
    s.channel[0].gpionum = c.gpio0;
    ws2811_return_t r = ws2811_init(&s);
    EXPECT_EQ(r, c.expected) << c.gpio1;
    EXPECT_STREQ(ws2811_get_return_t_str(r), c.text);
    EXPECT_EQ(s.device != nullptr, r == 0);
    EXPECT_EQ(s.channel[1].leds != nullptr, r == 0);
    if (r == 0)
      ws2811_fini(&s);
  }
  EXPECT_STREQ(ws2811_get_return_t_str(static_cast<ws2811_return_t>(-15)), "");
  EXPECT_EQ(WS2811_RETURN_STATE_COUNT, -13);
  EXPECT_EQ(strip::counts().init, 6);
  EXPECT_EQ(strip::counts().fini, 2);
  EXPECT_EQ(strip::running_drivers(), 0);
}

TEST(StripStandIn, RendersRecordWordsAndWireOrder) {
  struct Case {
    int type, brightness;
    std::vector<uint8_t> wire;  // of the word 0x00030201
  } cases[] = {
      {WS2811_STRIP_GBR, 255, {0x02, 0x01, 0x03}},
      {WS2811_STRIP_GRB, 127, {0x01, 0x01, 0x00}},  // G R B, each halved
      {0, 255, {0x03, 0x02, 0x01}},                 // no type: RGB
  };
  for (const Case& c : cases) {
    strip::clear();
    ws2811_t s = one_channel(19, c.type, c.brightness);
    ASSERT_EQ(ws2811_init(&s), 0);
    EXPECT_EQ(s.channel[1].leds[0] | s.channel[1].leds[1] | s.channel[1].leds[2], 0u);
    s.channel[1].leds[0] = s.channel[1].leds[1] = s.channel[1].leds[2] = 0x030201;
    EXPECT_EQ(ws2811_render(&s), 0);
    ws2811_fini(&s);
    ASSERT_EQ(strip::renders().size(), 1u);
    strip::Render r = strip::renders()[0];
    EXPECT_EQ(r.leds[1], std::vector<uint32_t>(3, 0x030201));
    std::vector<uint8_t> wire = c.wire;
    for (int i = 0; i < 2; ++i)
      wire.insert(wire.end(), c.wire.begin(), c.wire.end());
    EXPECT_EQ(r.wire[1], wire) << std::hex << c.type;
  }
}

// On the board these end the process; here they must too, loudly. Each case
// is a sequence of calls: I init, X failed init, F fini, R render, W wait,
// O a store past the LEDs.
TEST(StripStandInDeathTest, CallsTheBoardDoesNotSurviveEndTheProcess) {
  for (const char* calls : {"F", "XR", "IFF", "W", "IOR"}) {
    auto run = [calls] {
      ws2811_t s = one_channel(19, 0, 255);
      for (const char* op = calls; *op; ++op) {
        strip::set_init_result(*op == 'X' ? -3 : 0);
        if (*op == 'I' || *op == 'X')
          ws2811_init(&s);
        else if (*op == 'F')
          ws2811_fini(&s);
        else if (*op == 'R')
          ws2811_render(&s);
        else if (*op == 'W')
          ws2811_wait(&s);
        else
          s.channel[1].leds[3] = 1;
      }
    };
    EXPECT_DEATH(run(),
                 "FAULT: ws2811_[a-z]+ with (no driver state|an LED "
                 "buffer written past)")
        << calls;
  }
}

TEST(StripStandInDeathTest, InitOverARunningDriverIsAFault) {
  EXPECT_EXIT(
      {
        ws2811_t s = one_channel(19, 0, 255);
        ws2811_init(&s);
        ws2811_init(&s);
        // Ends here, before leak checks: the first buffers leaked as on the
        // board.
        _exit(strip::fault_count());
      },
      testing::ExitedWithCode(1), "FAULT: ws2811_init over a running driver");
}

}  // namespace
