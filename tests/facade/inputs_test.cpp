// SPDX-License-Identifier: MIT
// Input events: handlers sample the line, wait 100 ms, then call the current
// instance's callback; close_io during that wait is safe.
#include <gtest/gtest.h>
#include <wiringPi.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "facade_test_util.h"
#include "kiv_io.h"
#include "test_support.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;
using Clock = std::chrono::steady_clock;

namespace {

struct Seen {
  std::atomic<int> calls{0};
  std::atomic<int> level{-1};
  std::atomic<bool> on_caller_thread{false};
  std::atomic<Clock::rep> at{0};
};
Seen g_input, g_trigger, g_tune;
std::thread::id g_main_thread;

void note(Seen& s, int level) {
  s.level = level;
  s.at = Clock::now().time_since_epoch().count();
  if (std::this_thread::get_id() == g_main_thread)
    s.on_caller_thread = true;
  ++s.calls;
}
void on_input(int level) {
  note(g_input, level);
}
void on_trigger(int level) {
  note(g_trigger, level);
}
void on_tune(int level) {
  note(g_tune, level);
}

// The three input lines as setup leaves them, without the serial ports.
void register_inputs() {
  g_main_thread = std::this_thread::get_id();
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  const struct {
    int pin;
    void (*handler)();
  } lines[] = {{17, kiv::callbackInput}, {12, kiv::callbackTrigger}, {20, kiv::callbackTune}};
  for (const auto& line : lines) {
    pinMode(line.pin, INPUT);
    pullUpDnControl(line.pin, PUD_DOWN);
    ASSERT_EQ(wiringPiISR(line.pin, INT_EDGE_BOTH, line.handler), 0);
  }
}

}  // namespace

TEST(FacadeInputs, EachLineCallsItsCallbackWithTheLevelAfterTheEdgeAfter100ms) {
  kivtest::StdoutCapture out;
  register_inputs();
  kiv::KivIo* io = kiv::KivIo::getInstance();
  io->registerInput(on_input);
  io->registerTrigger(on_trigger);
  io->registerTune(on_tune);

  auto edge_at = Clock::now();
  ASSERT_TRUE(gpio::inject_edge(17, 1));
  ASSERT_TRUE(gpio::inject_edge(12, 1));
  ASSERT_TRUE(gpio::inject_edge(20, 0));
  // The lines change again during the wait: the callbacks still get the
  // levels sampled just after the edges.
  ASSERT_TRUE(gpio::wait_delays(100, 3));
  gpio::set_level(17, 0);
  gpio::set_level(12, 0);
  gpio::set_level(20, 1);
  ASSERT_TRUE(gpio::wait_handler_idle(17));
  ASSERT_TRUE(gpio::wait_handler_idle(12));
  ASSERT_TRUE(gpio::wait_handler_idle(20));

  EXPECT_EQ(g_input.calls, 1);
  EXPECT_EQ(g_input.level, 1);
  EXPECT_EQ(g_trigger.calls, 1);
  EXPECT_EQ(g_trigger.level, 1);
  EXPECT_EQ(g_tune.calls, 1);
  EXPECT_EQ(g_tune.level, 0);
  EXPECT_FALSE(g_input.on_caller_thread || g_trigger.on_caller_thread || g_tune.on_caller_thread);
  auto input_at = Clock::time_point(Clock::duration(g_input.at.load()));
  EXPECT_GE(input_at - edge_at, std::chrono::milliseconds(100));
  EXPECT_EQ(gpio::fault_count(), 0);
}

TEST(FacadeInputs, CallbackIsReadAfterTheWaitAndNullUnregisters) {
  kivtest::StdoutCapture out;
  register_inputs();
  kiv::KivIo* io = kiv::KivIo::getInstance();

  // No callback: only the read and the wait.
  gpio::clear_calls();
  ASSERT_TRUE(gpio::inject_edge(17, 1));
  ASSERT_TRUE(gpio::wait_handler_idle(17));
  EXPECT_EQ(gpio::calls_of(kivsim::gpio::CallKind::Read, 17).size(), 1u);
  EXPECT_EQ(gpio::calls_of(kivsim::gpio::CallKind::Delay).size(), 1u);
  EXPECT_EQ(g_input.calls, 0);

  // Registered during the wait: called for that edge.
  ASSERT_TRUE(gpio::inject_edge(17, 0));
  ASSERT_TRUE(gpio::wait_delays(100, 2));
  io->registerInput(on_input);
  ASSERT_TRUE(gpio::wait_handler_idle(17));
  EXPECT_EQ(g_input.calls, 1);
  EXPECT_EQ(g_input.level, 0);

  // Unregistered during the wait: not called.
  ASSERT_TRUE(gpio::inject_edge(17, 1));
  ASSERT_TRUE(gpio::wait_delays(100, 3));
  io->registerInput(nullptr);
  ASSERT_TRUE(gpio::wait_handler_idle(17));
  EXPECT_EQ(g_input.calls, 1);
}

TEST(FacadeInputs, CloseDuringTheWaitNeverTouchesTheDeletedInstance) {
  kivtest::StdoutCapture out;
  register_inputs();
  // Each round deletes the instance while the handler waits; the handler then
  // finds a fresh instance with no callback (under ASan a stale read fails).
  const int rounds = 15;
  for (int i = 0; i < rounds; ++i) {
    kiv::KivIo::getInstance()->registerInput(on_input);
    kiv::KivIo::getInstance()->registerTune(on_tune);
    ASSERT_TRUE(gpio::inject_edge(17, (i + 1) % 2));
    ASSERT_TRUE(gpio::inject_edge(20, (i + 1) % 2));
    ASSERT_TRUE(gpio::wait_delays(100, 2 * (i + 1)));
    kiv::KivIo::close_io();
    ASSERT_TRUE(gpio::wait_handler_idle(17));
    ASSERT_TRUE(gpio::wait_handler_idle(20));
    kiv::KivIo::close_io();
  }
  EXPECT_EQ(g_input.calls, 0);
  EXPECT_EQ(g_tune.calls, 0);
  std::string text = out.text();
  EXPECT_EQ(kivtest::count_of(text, "[KIV-IO] delete...\n"), 2 * rounds);
  EXPECT_EQ(kivtest::count_of(text, "[KIV-IO] create...\n"), 2 * rounds);
}
