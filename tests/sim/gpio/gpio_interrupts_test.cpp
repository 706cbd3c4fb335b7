// SPDX-License-Identifier: MIT
// WiringPi stand-in: interrupt threads, edge queueing and stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "test_support.h"
#include "wiringPi.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;
using gpio::CallKind;

namespace {

std::atomic<int> g_runs{0};
std::atomic<bool> g_hold{false};
std::atomic<int> g_level_seen{-1};
std::mutex g_ids_mutex;
std::set<std::thread::id> g_ids;

void record_handler() {
  {
    std::lock_guard<std::mutex> lock(g_ids_mutex);
    g_ids.insert(std::this_thread::get_id());
  }
  g_level_seen = digitalRead(6);
  while (g_hold)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ++g_runs;
}

void other_handler() {
  g_runs += 100;
}

void self_stopping_handler() {
  wiringPiISRStop(8);
  ++g_runs;
}

}  // namespace

TEST(GpioInterrupts, HandlerRunsOnItsLinesOwnThreadOncePerEdge) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  ASSERT_EQ(wiringPiISR(6, INT_EDGE_BOTH, record_handler), 0);
  ASSERT_EQ(wiringPiISR(9, INT_EDGE_BOTH, record_handler), 0);
  EXPECT_TRUE(gpio::has_isr(6));
  EXPECT_EQ(gpio::isr_edge(6), INT_EDGE_BOTH);

  EXPECT_TRUE(gpio::inject_edge(6, 1));
  ASSERT_TRUE(gpio::wait_handler_ends(6, 1));
  EXPECT_EQ(g_level_seen, 1);
  EXPECT_TRUE(gpio::inject_edge(6, 0));
  ASSERT_TRUE(gpio::wait_handler_ends(6, 2));
  EXPECT_EQ(g_level_seen, 0);
  EXPECT_TRUE(gpio::inject_edge(9, 1));
  ASSERT_TRUE(gpio::wait_handler_ends(9, 1));
  EXPECT_EQ(g_runs, 3);
  EXPECT_EQ(gpio::handler_starts(6), 2);

  std::lock_guard<std::mutex> lock(g_ids_mutex);
  EXPECT_EQ(g_ids.size(), 2u) << "one thread per line";
  EXPECT_EQ(g_ids.count(std::this_thread::get_id()), 0u);
}

TEST(GpioInterrupts, EdgeTypeFiltersDirectionAndRefusalsAreReported) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  ASSERT_EQ(wiringPiISR(6, INT_EDGE_RISING, record_handler), 0);
  EXPECT_FALSE(gpio::inject_edge(6, 0));
  EXPECT_TRUE(gpio::inject_edge(6, 1));
  ASSERT_TRUE(gpio::wait_handler_idle(6));
  EXPECT_EQ(g_runs, 1);

  gpio::fail_isr(12, true);
  EXPECT_LT(wiringPiISR(12, INT_EDGE_BOTH, record_handler), 0);
  EXPECT_FALSE(gpio::has_isr(12));
  EXPECT_FALSE(gpio::inject_edge(12, 1));
  auto isr = gpio::calls_of(CallKind::Isr, 12);
  ASSERT_EQ(isr.size(), 1u);
  EXPECT_EQ(isr[0].value, INT_EDGE_BOTH);
  EXPECT_EQ(isr[0].result, -1);
  EXPECT_EQ(gpio::fault_count(), 0);

  kivtest::StderrCapture err;
  EXPECT_LT(wiringPiISR(13, INT_EDGE_SETUP, record_handler), 0);
  EXPECT_EQ(gpio::fault_count(), 1);
}

TEST(GpioInterrupts, SixteenEdgesWaitWhileAHandlerRunsAndMoreAreLost) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  ASSERT_EQ(wiringPiISR(6, INT_EDGE_BOTH, record_handler), 0);
  g_hold = true;
  ASSERT_TRUE(gpio::inject_edge(6, 1));
  ASSERT_TRUE(kivtest::wait_until([] { return gpio::handler_starts(6) == 1; }));
  for (int i = 0; i < gpio::kEdgeQueueDepth; ++i)
    EXPECT_TRUE(gpio::inject_edge(6, i % 2)) << i;
  EXPECT_FALSE(gpio::inject_edge(6, 1));
  EXPECT_FALSE(gpio::inject_edge(6, 0));
  EXPECT_EQ(gpio::edges_lost(6), 2);
  g_hold = false;
  ASSERT_TRUE(gpio::wait_handler_idle(6));
  EXPECT_EQ(g_runs, 1 + gpio::kEdgeQueueDepth);
}

TEST(GpioInterrupts, SecondRegistrationReplacesTheHandlerAndRunsItTwicePerEdge) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  int threads = kivtest::count_threads();
  ASSERT_EQ(wiringPiISR(6, INT_EDGE_BOTH, record_handler), 0);
  kivtest::StderrCapture err;
  ASSERT_EQ(wiringPiISR(6, INT_EDGE_BOTH, other_handler), 0);
  EXPECT_NE(err.text().find("ISR function alread active, ignoring"), std::string::npos);
  EXPECT_EQ(kivtest::count_threads(), threads + 2);
  EXPECT_EQ(gpio::isr_threads(6), 2);
  ASSERT_TRUE(gpio::inject_edge(6, 1));
  ASSERT_TRUE(gpio::wait_handler_ends(6, 2));
  ASSERT_TRUE(gpio::wait_handler_idle(6));
  EXPECT_EQ(g_runs, 200);
  gpio::stop_all();
  // Joined threads leave the task list late under emulation.
  EXPECT_TRUE(kivtest::wait_until([&] { return kivtest::count_threads() == threads; }));
}

TEST(GpioInterrupts, StoppingEndsTheThreadsEvenFromInsideAHandler) {
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  int threads = kivtest::count_threads();
  ASSERT_EQ(wiringPiISR(6, INT_EDGE_BOTH, record_handler), 0);
  ASSERT_EQ(wiringPiISR(7, INT_EDGE_BOTH, record_handler), 0);
  ASSERT_EQ(wiringPiISR(8, INT_EDGE_BOTH, self_stopping_handler), 0);
  EXPECT_EQ(kivtest::count_threads(), threads + 3);

  EXPECT_EQ(wiringPiISRStop(7), 0);
  EXPECT_FALSE(gpio::has_isr(7));
  EXPECT_FALSE(gpio::inject_edge(7, 1));

  ASSERT_TRUE(gpio::inject_edge(8, 1));
  ASSERT_TRUE(gpio::wait_handler_ends(8, 1));
  EXPECT_FALSE(gpio::inject_edge(8, 0));
  EXPECT_TRUE(kivtest::wait_until([&] { return kivtest::count_threads() == threads + 1; }));

  // A running handler is waited for.
  g_hold = true;
  ASSERT_TRUE(gpio::inject_edge(6, 1));
  ASSERT_TRUE(kivtest::wait_until([] { return gpio::handler_starts(6) == 1; }));
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    g_hold = false;
  });
  gpio::stop_all();
  EXPECT_EQ(g_runs, 2);
  release.join();
  EXPECT_TRUE(kivtest::wait_until([&] { return kivtest::count_threads() == threads; }));
  EXPECT_FALSE(gpio::has_isr(6));
}
