// SPDX-License-Identifier: MIT
// WiringPi stand-in: the real set-up's board check, and the pause of each
// interrupt registration that a test may ask for.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>

#include "sandbox.h"
#include "wiringPi.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;

namespace {

struct CpuinfoCase {
  const char* name;
  const char* cpuinfo;
  bool identified;
};

void PrintTo(const CpuinfoCase& c, std::ostream* os) {
  *os << c.name;
}

const CpuinfoCase kCpuinfoCases[] = {
    {"PiWithRevision", "processor\t: 0\nHardware\t: BCM2835\nRevision\t: d03114\n", true},
    {"RevisionFirst", "Revision\t: a02082\n", true},
    {"PcWithoutRevision", "processor\t: 0\nmodel name\t: x86\nSerial\t\t: 10000000aabbccdd\n",
     false},
    {"LowerCaseRevision", "revision\t: d03114\n", false},
    {"IndentedRevision", " Revision\t: d03114\n", false},
    {"Empty", "", false},
};

class GpioBoardCheck : public ::testing::TestWithParam<CpuinfoCase> {};

void noop_handler() {}

}  // namespace

TEST_P(GpioBoardCheck, SetupEndsTheProcessWhereTheBoardIsUnknown) {
  ASSERT_TRUE(kivsim::Sandbox::set_cpuinfo(GetParam().cpuinfo));
  if (GetParam().identified) {
    EXPECT_EQ(wiringPiSetupGpio(), 0);
  } else {
    EXPECT_EXIT(wiringPiSetupGpio(), ::testing::ExitedWithCode(1),
                "Oops: Unable to determine Raspberry Pi board revision");
  }
}

INSTANTIATE_TEST_SUITE_P(Cpuinfo, GpioBoardCheck, ::testing::ValuesIn(kCpuinfoCases),
                         [](const auto& c) { return std::string(c.param.name); });

TEST(GpioBoard, SetupChecksTheBoardOnlyOnceAndAnUnreadableCpuinfoIsUnknown) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  ASSERT_TRUE(kivsim::Sandbox::hide_cpuinfo());
  EXPECT_EQ(wiringPiSetupGpio(), 0) << "a set-up board is not checked again";
}

TEST(GpioBoard, RegistrationPausesOnlyWhenAsked) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  gpio::set_isr_delay(std::chrono::milliseconds(400));
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(wiringPiISR(6, INT_EDGE_BOTH, noop_handler), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}
