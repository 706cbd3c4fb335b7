// SPDX-License-Identifier: MIT
// The status colours, the strip's start in setup and its release in close_io,
// against the rpi_ws281x stand-in (which aborts on a call the board would
// not survive).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kiv_io.h"
#include "kiv_strip.h"
#include "test_support.h"
#include "wiringPi_sim.h"
#include "ws2811_sim.h"

namespace strip = kivsim::strip;
using kiv::KivIo;

namespace {

TEST(FacadeStatusColour, EachStateShowsItsPaletteEntryOrNothing) {
  ASSERT_EQ(light_ws2811_init(), 0);
  KivIo* io = KivIo::getInstance();
  struct Case {
    unsigned char state;
    int renders;
    uint32_t word;
  } cases[] = {{0, 1, 0x000000}, {1, 1, 0x0000FF}, {2, 1, 0x00FF00},
               {3, 1, 0xFF0000}, {4, 0, 0},        {255, 0, 0}};
  for (const Case& c : cases) {
    strip::clear();
    kivtest::StdoutCapture out;
    io->setRgbLight(c.state);
    EXPECT_EQ(out.text(), "[KIV-IO] RGB: " + std::to_string(c.state) + "\n");
    std::vector<strip::Render> renders = strip::renders();
    ASSERT_EQ(static_cast<int>(renders.size()), c.renders) << int{c.state};
    if (c.renders) {
      EXPECT_EQ(renders[0].leds[1], std::vector<uint32_t>(9, c.word)) << int{c.state};
    }
  }
  strip::clear();
  kivtest::StdoutCapture out;
  io->setRgbLight_rgb(0x01, 0x02, 0x03);
  EXPECT_EQ(out.text(), "");
  ASSERT_EQ(strip::renders().size(), 1u);
  EXPECT_EQ(strip::renders()[0].leds[1], std::vector<uint32_t>(9, 0x030201));
  std::vector<uint8_t> wire;
  for (int i = 0; i < 9; ++i)
    wire.insert(wire.end(), {0x02, 0x01, 0x03});
  EXPECT_EQ(strip::renders()[0].wire[1], wire);
  KivIo::close_io();
  EXPECT_EQ(strip::running_drivers(), 0);
}

// Setup starts the strip as its last step, whatever the strip says; close_io
// releases only a strip that runs (the stand-in aborts otherwise).
TEST(FacadeStatusColour, SetupStartsTheStripAndCloseReleasesOnlyARunningOne) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com2"), 0);
  struct Case {
    const char* name;
    bool gpio_fails;
    int isr_fail_pin;
    int strip_result;
    int inits, finis;
    const char* err;
  } cases[] = {
      {"no GPIO access", true, -1, 0, 0, 0, ""},
      {"refused interrupt", false, 20, 0, 0, 0, ""},
      {"unknown board", false, -1, -3, 1, 0,
       "ws2811_init failed: Hardware revision is not supported\n"},
      {"supported board", false, -1, 0, 1, 1, ""},
  };
  for (const Case& c : cases) {
    strip::clear();
    strip::set_init_result(c.strip_result);
    kivsim::gpio::fail_setup(c.gpio_fails);
    for (int pin : {17, 12, 20})
      kivsim::gpio::fail_isr(pin, pin == c.isr_fail_pin);
    kivtest::StdoutCapture out;
    kivtest::StderrCapture err;
    KivIo::getInstance()->setup();
    EXPECT_EQ(strip::counts().init, c.inits) << c.name;
    EXPECT_EQ(strip::counts().render, 0) << c.name;
    // Only the strip's own line; a repeated setup makes the GPIO stand-in talk too.
    std::string text = err.text();
    size_t at = text.find("ws2811");
    EXPECT_EQ(at == std::string::npos ? "" : text.substr(at), c.err) << c.name;
    EXPECT_EQ(out.text().find("[IO] setup ok!") != std::string::npos, c.inits == 1) << c.name;
    KivIo::close_io();
    EXPECT_EQ(strip::counts().fini, c.finis) << c.name;
    EXPECT_EQ(strip::running_drivers(), 0) << c.name;
  }
}

TEST(FacadeStatusColour, SecondSetupRestartsTheStripWithoutLeaking) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com2"), 0);
  kivtest::StdoutCapture out;
  KivIo* io = KivIo::getInstance();
  io->setup();
  io->setup();
  EXPECT_EQ(strip::counts().init, 2);
  EXPECT_EQ(strip::counts().fini, 1);
  EXPECT_EQ(strip::running_drivers(), 1);
  EXPECT_EQ(strip::fault_count(), 0);
  io->setRgbLight(2);
  EXPECT_EQ(strip::renders().back().leds[1], std::vector<uint32_t>(9, 0x00FF00));
  KivIo::close_io();
  EXPECT_EQ(strip::running_drivers(), 0);
}

// A status colour set on another thread (an input callback) while close_io
// releases the strip: each fill finds the strip running or refuses.
TEST(FacadeStatusColour, FillsRacingTheReleaseNeverTouchAReleasedStrip) {
  kivtest::StdoutCapture out;
  std::atomic<bool> stop{false};
  std::atomic<int> shown{0};
  std::thread setter([&] {
    for (int i = 0; !stop.load(); ++i)
      shown += light_ws2811_color(i % 4) == 0 ? 1 : 0;
  });
  for (int round = 0; round < 300; ++round) {
    KivIo::getInstance();
    ASSERT_EQ(light_ws2811_init(), 0);
    std::this_thread::yield();
    KivIo::close_io();
  }
  stop = true;
  setter.join();
  EXPECT_EQ(strip::counts().fini, 300);
  EXPECT_EQ(strip::counts().render, shown.load());
}

}  // namespace
