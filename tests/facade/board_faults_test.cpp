// SPDX-License-Identifier: MIT
// What only the board shows: a board that WiringPi cannot identify, the
// interrupts that outlive close_io(), and the time each registration takes.
#include <gtest/gtest.h>
#include <wiringPi.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <string>

#include "facade_test_util.h"
#include "kiv_io.h"
#include "test_support.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;
using kiv::KivIo;

namespace {

constexpr int kInputPins[] = {17, 12, 20};

struct BoardCase {
  const char* name;
  const char* cpuinfo;  // nullptr: "/proc/cpuinfo" cannot be opened
  bool identified;
};

void PrintTo(const BoardCase& c, std::ostream* os) {
  *os << c.name;
}

const BoardCase kBoardCases[] = {
    {"Pi4", "processor\t: 0\nHardware\t: BCM2835\nRevision\t: d03114\nSerial\t\t: 1\n", true},
    {"PcCpuinfo", "processor\t: 0\nrevision\t: 1\n", false},
    {"Unreadable", nullptr, false},
};

class FacadeBoardCheck : public ::testing::TestWithParam<BoardCase> {};

std::atomic<int> g_trigger_calls{0};
void on_trigger(int) {
  ++g_trigger_calls;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST_P(FacadeBoardCheck, UnknownBoardIsASetupErrorInsteadOfAnExit) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com2"), 0);
  const BoardCase& c = GetParam();
  ASSERT_TRUE(c.cpuinfo ? kivsim::Sandbox::set_cpuinfo(c.cpuinfo)
                        : kivsim::Sandbox::hide_cpuinfo());
  KivIo* io = KivIo::getInstance();
  kivtest::StdoutCapture out;
  int fds = kivtest::count_open_fds();
  io->setup();
  if (c.identified) {
    EXPECT_NE(out.text().find("[IO] setup ok!"), std::string::npos) << out.text();
    KivIo::close_io();
  } else {
    EXPECT_EQ(out.text(), "wiringPi setup error\r\n");
    EXPECT_EQ(kivtest::gpio_calls_text(), "") << "the GPIO library is not called";
    EXPECT_EQ(kivtest::count_open_fds(), fds) << "no serial port opened";
  }
}

INSTANTIATE_TEST_SUITE_P(Boards, FacadeBoardCheck, ::testing::ValuesIn(kBoardCases),
                         [](const auto& c) { return std::string(c.param.name); });

TEST(FacadeBoardFaults, SetupAfterCloseIoFindsTheInterruptsInPlace) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com2"), 0);
  kivtest::StdoutCapture out;
  KivIo::getInstance()->setup();
  KivIo::close_io();
  KivIo* io = KivIo::getInstance();
  io->setup();
  EXPECT_EQ(kivtest::count_of(out.text(), "[IO] setup ok!\n"), 2);
  for (int pin : kInputPins) {
    EXPECT_EQ(gpio::calls_of(gpio::CallKind::Isr, pin).size(), 1u) << pin;
    EXPECT_EQ(gpio::isr_threads(pin), 1) << pin;
    EXPECT_EQ(gpio::mode(pin), INPUT) << pin;
  }
  io->registerTrigger(on_trigger);
  ASSERT_TRUE(gpio::inject_edge(12, 1));
  ASSERT_TRUE(gpio::wait_handler_idle(12));
  EXPECT_EQ(g_trigger_calls, 1) << "one callback per edge";
  KivIo::close_io();
}

TEST(FacadeBoardFaults, RegistrationsTakeTheirTimeOnlyInTheFirstSetup) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com2"), 0);
  // As on the board: a second or more before each registration.
  gpio::set_isr_delay(std::chrono::seconds(1));
  kivtest::StdoutCapture out;
  auto start = std::chrono::steady_clock::now();
  KivIo::getInstance()->setup();
  EXPECT_GE(seconds_since(start), 3.0);
  KivIo::close_io();
  start = std::chrono::steady_clock::now();
  KivIo::getInstance()->setup();
  // Three more registrations would take three more seconds.
  EXPECT_LT(seconds_since(start), 2.0);
  KivIo::close_io();
}
