// SPDX-License-Identifier: MIT
// Digital outputs: each operation drives its line, in order.
#include <gtest/gtest.h>
#include <wiringPi.h>

#include "facade_test_util.h"
#include "kiv_io.h"
#include "test_support.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;

TEST(FacadeOutputs, EveryOperationDrivesItsLine) {
  kivtest::StdoutCapture out;
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  // The lines are outputs, as setup() leaves them: a write to a line that is
  // not one only sets its latch, on the board as on the stand-in.
  for (int pin : {13, 21, 22, 27})
    pinMode(pin, OUTPUT);
  kiv::KivIo* io = kiv::KivIo::getInstance();
  gpio::clear_calls();

  io->openLaser();
  EXPECT_EQ(gpio::level(13), 1);
  io->closeLaser();
  EXPECT_EQ(gpio::level(13), 0);
  io->openAlarm();
  EXPECT_EQ(gpio::level(21), 1);
  io->closeAlarm();
  EXPECT_EQ(gpio::level(21), 0);
  io->setDo1High(false);
  EXPECT_EQ(gpio::level(22), 0);
  io->setDo1High(true);
  EXPECT_EQ(gpio::level(22), 1);
  io->setDo2High(true);
  EXPECT_EQ(gpio::level(27), 1);
  io->setDo2High(false);
  EXPECT_EQ(gpio::level(27), 0);
  EXPECT_EQ(kivtest::gpio_calls_text(),
            "write 13 1, write 13 0, write 21 1, write 21 0, write 22 0, write 22 1, "
            "write 27 1, write 27 0");
  EXPECT_EQ(gpio::fault_count(), 0);
}

TEST(FacadeOutputs, ScanStatusLinesEndOppositeWithLineAFirst) {
  kivtest::StdoutCapture out;
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  for (int pin : {16, 7})
    pinMode(pin, OUTPUT);
  kiv::KivIo* io = kiv::KivIo::getInstance();
  gpio::clear_calls();
  io->setScanStat(true);
  EXPECT_EQ(gpio::level(16), 1);
  EXPECT_EQ(gpio::level(7), 0);
  io->setScanStat(false);
  EXPECT_EQ(gpio::level(16), 0);
  EXPECT_EQ(gpio::level(7), 1);
  io->setScanStat(false);
  EXPECT_EQ(kivtest::gpio_calls_text(),
            "write 16 1, write 7 0, write 16 0, write 7 1, write 16 0, write 7 1");
}
