// SPDX-License-Identifier: MIT
// WiringPi stand-in: set-up, modes, pulls, levels, the call log and faults.
#include <gtest/gtest.h>

#include "test_support.h"
#include "wiringPi.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;
using gpio::CallKind;

TEST(GpioLines, SetupFailsOnDemandAndLaterCallsAreFaults) {
  gpio::fail_setup(true);
  kivtest::StderrCapture err;
  EXPECT_EQ(wiringPiSetupGpio(), -1);
  EXPECT_FALSE(gpio::is_set_up());
  pinMode(5, OUTPUT);
  pullUpDnControl(5, PUD_UP);
  digitalWrite(5, 1);
  EXPECT_EQ(digitalRead(5), LOW);
  EXPECT_EQ(gpio::fault_count(), 4);
  EXPECT_NE(err.text().find("pinMode before wiringPiSetupGpio"), std::string::npos);
  EXPECT_EQ(gpio::mode(5), gpio::kUnset);
  EXPECT_EQ(gpio::level(5), 0);

  gpio::fail_setup(false);
  EXPECT_EQ(wiringPiSetupGpio(), 0);
  EXPECT_TRUE(gpio::is_set_up());
  // Once set up, the real library never fails again.
  gpio::fail_setup(true);
  EXPECT_EQ(wiringPiSetupGpio(), 0);
}

TEST(GpioLines, OutputsRecordModeLevelAndEveryWriteInOrder) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  pinMode(22, OUTPUT);
  digitalWrite(22, 7);  // any non-zero value is high
  EXPECT_EQ(gpio::level(22), 1);
  EXPECT_EQ(digitalRead(22), 1);
  digitalWrite(22, 0);
  EXPECT_EQ(gpio::level(22), 0);
  digitalWrite(22, -1);
  EXPECT_EQ(gpio::mode(22), OUTPUT);
  EXPECT_EQ(gpio::level(22), 1);

  auto log = gpio::calls();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0].kind, CallKind::Setup);
  EXPECT_EQ(log[1].kind, CallKind::Mode);
  EXPECT_EQ(log[1].value, OUTPUT);
  EXPECT_EQ(log[2].kind, CallKind::Write);
  EXPECT_EQ(log[2].value, 1);
  EXPECT_EQ(log[3].kind, CallKind::Read);
  EXPECT_EQ(log[4].value, 0);
  EXPECT_EQ(log[5].value, 1);
  EXPECT_EQ(gpio::calls_of(CallKind::Write, 22).size(), 3u);
  EXPECT_EQ(gpio::fault_count(), 0);
  gpio::clear_calls();
  EXPECT_TRUE(gpio::calls().empty());
}

TEST(GpioLines, InputsFollowTheirPullUntilDrivenAndIgnoreWrites) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  pinMode(17, INPUT);
  pullUpDnControl(17, PUD_UP);
  EXPECT_EQ(gpio::pull(17), PUD_UP);
  EXPECT_EQ(digitalRead(17), 1);
  pullUpDnControl(17, PUD_DOWN);
  EXPECT_EQ(digitalRead(17), 0);
  gpio::set_level(17, 1);
  pullUpDnControl(17, PUD_DOWN);
  EXPECT_EQ(digitalRead(17), 1);
  digitalWrite(17, 0);
  EXPECT_EQ(digitalRead(17), 1);
}

// As on the board, a write to a line that is not an output goes to its
// output latch: the line keeps its own level until it becomes an output, and
// then drives the latch's level at once, never the other one first.
TEST(GpioLines, AWriteBeforeTheLineIsAnOutputIsItsLevelOnceItIsOne) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  const struct {
    const char* what;
    int pin;
    int mode;    // before the write: INPUT, or kUnset
    int driven;  // the level an outside driver holds, or -1
    int written;
  } cases[] = {
      {"an input, written high", 5, INPUT, -1, 1},
      {"a line of no mode yet, written high", 6, gpio::kUnset, -1, 1},
      {"an input held high, written low", 8, INPUT, 1, 0},
      {"an input held high, written high", 9, INPUT, 1, 1},
      {"an input held low, written high", 10, INPUT, 0, 1},
  };
  for (const auto& c : cases) {
    if (c.mode != gpio::kUnset)
      pinMode(c.pin, c.mode);
    if (c.driven >= 0)
      gpio::set_level(c.pin, c.driven);
    const int before = gpio::level(c.pin);
    digitalWrite(c.pin, c.written);
    EXPECT_EQ(gpio::level(c.pin), before) << c.what << ": the line changed while not an output";
    EXPECT_EQ(digitalRead(c.pin), before) << c.what;
    pinMode(c.pin, OUTPUT);
    EXPECT_EQ(gpio::level(c.pin), c.written) << c.what;
    EXPECT_EQ(digitalRead(c.pin), c.written) << c.what;
  }
  // The latch outlives a spell as an input: back to an output, the line
  // drives what was last written, whatever it read meanwhile.
  pinMode(11, OUTPUT);
  digitalWrite(11, 1);
  pinMode(11, INPUT);
  gpio::set_level(11, 0);
  EXPECT_EQ(digitalRead(11), 0);
  pinMode(11, OUTPUT);
  EXPECT_EQ(digitalRead(11), 1);
  // Each write is logged, as a write, whatever the mode.
  EXPECT_EQ(gpio::calls_of(CallKind::Write).size(), std::size(cases) + 1);
  EXPECT_EQ(gpio::fault_count(), 0);
}

TEST(GpioLines, PinsOutsideTheHeaderAreFaults) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  kivtest::StderrCapture err;
  pinMode(64, OUTPUT);
  digitalWrite(-1, 1);
  EXPECT_EQ(digitalRead(100), 0);
  EXPECT_EQ(wiringPiISR(64, INT_EDGE_BOTH, [] {}), -1);
  EXPECT_EQ(gpio::fault_count(), 4);
  EXPECT_EQ(gpio::faults()[0], "pinMode on a pin outside 0..63 (pin 64)");
  EXPECT_NE(err.text().find("FAULT"), std::string::npos);
  EXPECT_EQ(gpio::mode(64), gpio::kUnset);
}

TEST(GpioLines, DelaySleepsAtLeastItsTimeAndIsLogged) {
  auto start = std::chrono::steady_clock::now();
  delay(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  auto delays = gpio::calls_of(CallKind::Delay);
  ASSERT_EQ(delays.size(), 1u);
  EXPECT_EQ(delays[0].value, 30);
}
