// SPDX-License-Identifier: MIT
// The strip stand-in's link to a launcher that stalls.
#include <gtest/gtest.h>
#include <ws2811.h>

#include <string>

#include "stalled_launcher.h"

namespace {

TEST(StripLink, AStalledLauncherCostsReportsNotTheLink) {
  kivtest::StalledLauncher launcher("KIV_SIM_STRIP_SOCKET");
  ws2811_t ws{};
  ws.freq = WS2811_TARGET_FREQ;
  ws.dmanum = 10;
  ws.channel[1].gpionum = 19;
  ws.channel[1].count = 9;
  ws.channel[1].brightness = 255;
  ASSERT_EQ(ws2811_init(&ws), WS2811_SUCCESS);
  ASSERT_TRUE(launcher.accept_peer());
  // The launcher reads nothing while the strip renders far more than the
  // socket holds.
  for (int i = 0; i < 2000; ++i) {
    ws.channel[1].leds[0] = static_cast<ws2811_led_t>(i);
    ASSERT_EQ(ws2811_render(&ws), WS2811_SUCCESS);
  }
  ws.channel[1].leds[8] = 0x123456;
  ASSERT_EQ(ws2811_render(&ws), WS2811_SUCCESS);
  // Once it reads again: the count of what was lost, and the strip as it is.
  const std::string& got = launcher.read_until(" 123456\n");
  const size_t lost = got.find(" lost ");
  ASSERT_NE(lost, std::string::npos) << got.substr(got.size() > 300 ? got.size() - 300 : 0);
  EXPECT_NE(got.find(" 123456\n", lost), std::string::npos);
  ws2811_fini(&ws);
  EXPECT_NE(launcher.read_until(" fini\n").find(" fini\n", lost), std::string::npos);
}

}  // namespace
