// SPDX-License-Identifier: MIT
// The start-up sequence and its failure paths.
#include <gtest/gtest.h>
#include <wiringPi.h>

#include <atomic>
#include <regex>

#include "facade_test_util.h"
#include "kiv_io.h"
#include "test_support.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;
using kiv::KivIo;

namespace {

const char kFullGpioSequence[] =
    "setup 0, "
    "mode 22 1, write 22 1, mode 27 1, write 27 1, mode 13 1, write 13 0, "
    "mode 16 1, write 16 0, mode 7 1, write 7 0, mode 21 1, write 21 0, "
    "mode 17 0, pull 17 1, isr 17 3 0, "
    "mode 12 0, pull 12 1, isr 12 3 0, "
    "mode 20 0, pull 20 1, isr 20 3 0";

std::atomic<int> g_trigger_calls{0};
std::atomic<int> g_other_calls{0};
void on_trigger(int) {
  ++g_trigger_calls;
}
void on_other(int) {
  ++g_other_calls;
}

// Position of `needle` in `text`, or npos with a note.
size_t at(const std::string& text, const std::string& needle) {
  size_t pos = text.find(needle);
  EXPECT_NE(pos, std::string::npos) << "missing \"" << needle << "\" in:\n" << text;
  return pos;
}

}  // namespace

TEST(FacadeSetup, BringsUpLinesInterruptsAndBothPortsInOrder) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  int controller = kivsim::Sandbox::add_port("/dev/com2");
  ASSERT_GE(controller, 0);
  kivtest::StdoutCapture out;
  int fds = kivtest::count_open_fds();
  int threads = kivtest::count_threads();
  KivIo* io = KivIo::getInstance();
  io->setup();

  EXPECT_EQ(kivtest::gpio_calls_text(), kFullGpioSequence);
  EXPECT_EQ(gpio::level(22), 1);
  EXPECT_EQ(gpio::level(27), 1);
  for (int pin : {13, 16, 7, 21})
    EXPECT_EQ(gpio::level(pin), 0) << pin;
  EXPECT_EQ(gpio::fault_count(), 0);
  std::string text = out.text();
  size_t index0 = at(text, "serial index  0  fd  ");
  size_t index1 = at(text, "serial index  1  fd  ");
  size_t ok = at(text, "[IO] setup ok!\n");
  EXPECT_LT(index0, index1);
  EXPECT_LT(index1, ok);
  EXPECT_TRUE(std::regex_search(text, std::regex("serial index  0  fd  [0-9]+\n"
                                                 "serial index  1  fd  [0-9]+\n")))
      << text;
  // The light controller was given its start-up brightness, 24, before setup ended.
  EXPECT_EQ(kivtest::drain(controller), kivtest::bytes({0x43, 0x2D, 0x00, 0x18, 0x0D, 0x0A}));

  // Each line got its own handler.
  io->registerTrigger(on_trigger);
  io->registerInput(on_other);
  io->registerTune(on_other);
  ASSERT_TRUE(gpio::inject_edge(12, 1));
  ASSERT_TRUE(gpio::wait_handler_idle(12));
  EXPECT_EQ(g_trigger_calls, 1);
  EXPECT_EQ(g_other_calls, 0);

  // Closing closes both ports and joins their readers; the interrupts stay.
  KivIo::close_io();
  EXPECT_EQ(kivtest::count_of(out.text(), "[KIV-IO] delete...\n"), 1);
  EXPECT_EQ(kivtest::count_open_fds(), fds);
  EXPECT_TRUE(kivtest::wait_until([&] { return kivtest::count_threads() == threads + 3; }));
  EXPECT_TRUE(gpio::has_isr(17) && gpio::has_isr(12) && gpio::has_isr(20));
}

TEST(FacadeSetup, WithoutGpioAccessNothingElseIsInitialised) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com2"), 0);
  gpio::fail_setup(true);
  KivIo* io = KivIo::getInstance();
  kivtest::StdoutCapture out;
  int fds = kivtest::count_open_fds();
  io->setup();
  EXPECT_EQ(out.text(), "wiringPi setup error\r\n");
  EXPECT_EQ(kivtest::gpio_calls_text(), "setup -1");
  EXPECT_EQ(kivtest::count_open_fds(), fds) << "no serial port opened";
}

TEST(FacadeSetup, RefusedInterruptEndsStartUpWithLaterStepsUndone) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com2"), 0);
  gpio::fail_isr(12, true);
  KivIo* io = KivIo::getInstance();
  kivtest::StdoutCapture out;
  int fds = kivtest::count_open_fds();
  io->setup();
  EXPECT_EQ(out.text(), "Interrupt function register failure\r\n");
  std::string calls = kivtest::gpio_calls_text();
  EXPECT_NE(calls.find("isr 17 3 0, mode 12 0, pull 12 1, isr 12 3 -1"), std::string::npos);
  EXPECT_EQ(calls.find(" 20 "), std::string::npos) << calls;
  EXPECT_TRUE(gpio::has_isr(17));
  EXPECT_FALSE(gpio::has_isr(20));
  EXPECT_EQ(gpio::mode(20), gpio::kUnset);
  EXPECT_EQ(kivtest::count_open_fds(), fds) << "no serial port opened";
}

TEST(FacadeSetup, MissingCom1MakesCom2IndexZero) {
  KIV_REQUIRE_SANDBOX();
  int com2 = kivsim::Sandbox::add_port("/dev/com2");
  ASSERT_GE(com2, 0);
  kivtest::StdoutCapture out;
  KivIo* io = KivIo::getInstance();
  io->setup();
  std::string text = out.text();
  EXPECT_EQ(kivtest::count_of(text, "serial index  0  fd  "), 1);
  EXPECT_EQ(kivtest::count_of(text, "serial index  1"), 0);
  // The brightness frame finds no light controller port.
  EXPECT_LT(at(text, "serial index  0  fd  "), at(text, "write serial error\r\n"));
  EXPECT_LT(at(text, "write serial error\r\n"), at(text, "[IO] setup ok!\n"));
  EXPECT_TRUE(kivtest::drain(com2).empty());

  char hello[] = "hello";
  EXPECT_EQ(io->writeAMA1(hello, 5), 0);
  EXPECT_EQ(kivtest::read_bytes(com2, 5, std::chrono::seconds(2)),
            kivtest::bytes({'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(io->writeAMA2(hello, 5), -1);
  KivIo::close_io();
}
