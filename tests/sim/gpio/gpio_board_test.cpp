// SPDX-License-Identifier: MIT
// WiringPi stand-in: the real set-up's board check.
#include <gtest/gtest.h>

#include "sandbox.h"
#include "wiringPi.h"

TEST(GpioBoard, SetupEndsTheProcessWhereTheBoardIsUnknownAsTheRealOneDoes) {
  // A PC's cpuinfo: no "Revision" line (and no device tree).
  ASSERT_TRUE(kivsim::Sandbox::set_cpuinfo("processor\t: 0\nrevision\t: d03114\n"));
  EXPECT_EXIT(wiringPiSetupGpio(), ::testing::ExitedWithCode(1),
              "Oops: Unable to determine Raspberry Pi board revision");
}
