// SPDX-License-Identifier: MIT
// Devices that misbehave and come back: the lens controller failing in bursts
// (no acknowledge, a stuck bus) while the application sets and reads the lens
// in a loop, and the strip failing to start and then starting on the next
// set-up.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "facade_test_util.h"
#include "fault_fixture.h"
#include "i2c_sim.h"
#include "kiv_strip.h"
#include "ws2811_sim.h"

namespace {

using std::chrono::milliseconds;
using DeviceFaultTest = kivtest::FaultTest;

TEST_F(DeviceFaultTest, LensFailingInBurstsFailsOnlyThoseCallsAndKeepsTheLastValueSet) {
  // Set while the lens is healthy, before the bursts begin: a failing
  // assertion must not leave their thread running.
  ASSERT_EQ(io_->setLiquid(0), 0);
  std::atomic<bool> done{false};
  // Healthy, no acknowledge, healthy, stuck, in turn, a few milliseconds each.
  std::thread bursts([&] {
    for (int phase = 0; !done.load(); ++phase) {
      kivsim::i2c::set_answering(phase % 4 != 1);
      kivsim::i2c::set_stuck(phase % 4 == 3);
      std::this_thread::sleep_for(milliseconds(phase % 2 == 0 ? 3 : 1));
    }
    kivsim::i2c::set_answering(true);
    kivsim::i2c::set_stuck(false);
  });
  kivtest::StdoutCapture reports;
  int last_set = 0;
  int failures = 0;
  int wrong_reads = 0;
  int rounds = 0;
  const auto end = std::chrono::steady_clock::now() + milliseconds(kivtest::scaled(1000));
  for (int i = 1; std::chrono::steady_clock::now() < end; ++i, ++rounds) {
    const int value = i * 23 % 46001;
    if (io_->setLiquid(value) == 0)
      last_set = value;
    else
      ++failures;
    const int read = io_->getLiquid();
    if (read < 0)
      ++failures;
    else if (read != last_set)
      ++wrong_reads;
  }
  done = true;
  bursts.join();

  EXPECT_EQ(wrong_reads, 0);
  const std::string text = reports.text();
  const int nacks = kivtest::count_of(text, "[Liquid] /dev/i2c-5: Remote I/O error\n");
  const int timeouts = kivtest::count_of(text, "[Liquid] /dev/i2c-5: Connection timed out\n");
  EXPECT_GT(nacks, 0);
  EXPECT_GT(timeouts, 0);
  EXPECT_EQ(nacks + timeouts, failures) << "every failure reported once, nothing else";
  EXPECT_LT(failures, 2 * rounds);
  EXPECT_EQ(io_->getLiquid(), last_set);
  EXPECT_EQ(kivsim::i2c::open_descriptors(), 0);
  EXPECT_EQ(kivsim::i2c::calls_on_bad_descriptors(), 0);
}

TEST_F(DeviceFaultTest, StripFailingToStartStartsOnTheNextSetup) {
  kiv::KivIo::close_io();
  kivsim::strip::set_init_result(-3);
  io_ = kiv::KivIo::getInstance();
  {
    kivtest::StderrCapture err;
    io_->setup();
    EXPECT_EQ(err.text(), "ws2811_init failed: Hardware revision is not supported\n");
  }
  EXPECT_EQ(kivsim::strip::running_drivers(), 0);
  const int renders = kivsim::strip::counts().render;
  io_->setRgbLight(2);
  EXPECT_EQ(light_ws2811_color(3), -1);
  EXPECT_EQ(kivsim::strip::counts().render, renders);

  kivsim::strip::set_init_result(0);
  io_->setup();
  EXPECT_EQ(kivsim::strip::running_drivers(), 1);
  io_->setRgbLight_rgb(0x11, 0x22, 0x33);
  ASSERT_EQ(kivsim::strip::counts().render, renders + 1);
  EXPECT_EQ(kivsim::strip::renders().back().leds[1][8], 0x332211u);
  kiv::KivIo::close_io();
  EXPECT_EQ(kivsim::strip::running_drivers(), 0);
  EXPECT_EQ(kivsim::strip::fault_count(), 0);
}

}  // namespace
