// SPDX-License-Identifier: MIT
// Edges at 1 kHz on all three inputs while the outputs are written. Each
// callback holds its line's interrupt thread for the 100 ms settle and the
// GPIO library queues only a few edges, so most edges coalesce: at most one
// callback per line per 100 ms, only levels the line had, a last callback
// with the line's final level once the storm is over, the outputs exactly as
// written, and still one interrupt thread per line.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "fault_fixture.h"
#include "wiringPi_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kInputs[3] = {17, 12, 20};

struct LineLog {
  std::mutex mutex;
  std::vector<std::pair<Clock::time_point, int>> calls;
  static void add(int level, void* user) {
    auto* log = static_cast<LineLog*>(user);
    std::lock_guard<std::mutex> lock(log->mutex);
    log->calls.emplace_back(Clock::now(), level);
  }
};

// Writes the outputs in turn and checks each line right after; returns the
// writes that did not show.
int write_outputs(kiv::KivIo* io, const std::atomic<bool>& storming) {
  int wrong = 0;
  for (unsigned i = 0; storming.load(); ++i) {
    const bool on = (i / 6) % 2 == 0;
    int pin = 0;
    switch (i % 6) {
      case 0:
        on ? io->openLaser() : io->closeLaser();
        pin = 13;
        break;
      case 1:
        on ? io->openAlarm() : io->closeAlarm();
        pin = 21;
        break;
      case 2:
        io->setDo1High(on);
        pin = 22;
        break;
      case 3:
        io->setDo2High(on);
        pin = 27;
        break;
      case 4:
        io->setScanStat(on);
        pin = 16;
        break;
      default:
        io->setScanStat(on);
        wrong += kivsim::gpio::level(7) != (on ? 0 : 1);
        pin = 16;
        break;
    }
    wrong += kivsim::gpio::level(pin) != (on ? 1 : 0);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return wrong;
}

using EdgeStormTest = kivtest::FaultTest;

TEST_F(EdgeStormTest, EdgesCoalesceToOneCallbackPerSettleEndingOnTheFinalLevel) {
  LineLog logs[3];
  io_->registerInput(LineLog::add, &logs[0]);
  io_->registerTrigger(LineLog::add, &logs[1]);
  io_->registerTune(LineLog::add, &logs[2]);

  std::atomic<bool> storming{true};
  int wrong_outputs = 0;
  std::thread outputs([&] { wrong_outputs = write_outputs(io_, storming); });
  const auto start = Clock::now();
  const auto end = start + milliseconds(kivtest::scaled(10000));
  // Input and trigger toggle; tune bounces while staying high, so that any
  // level but 1 before the storm's end is one the line never had.
  int level = 0;
  for (auto next = start; next < end; next += milliseconds(1)) {
    level ^= 1;
    (void)kivsim::gpio::inject_edge(kInputs[0], level);
    (void)kivsim::gpio::inject_edge(kInputs[1], level);
    (void)kivsim::gpio::inject_edge(kInputs[2], 1);
    std::this_thread::sleep_until(next + milliseconds(1));
  }
  // Each final level differs from the storm's last, so the last callback
  // tells which edge it saw.
  const int final_level[3] = {level ^ 1, level ^ 1, 0};
  for (int line = 0; line < 3; ++line)
    (void)kivsim::gpio::inject_edge(kInputs[line], final_level[line]);
  for (int pin : kInputs)
    EXPECT_TRUE(kivsim::gpio::wait_handler_idle(pin, std::chrono::seconds(10))) << pin;
  storming = false;
  outputs.join();

  EXPECT_EQ(wrong_outputs, 0);
  const double storm_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  for (int line = 0; line < 3; ++line) {
    SCOPED_TRACE(kInputs[line]);
    std::lock_guard<std::mutex> lock(logs[line].mutex);
    const auto& calls = logs[line].calls;
    ASSERT_FALSE(calls.empty());
    EXPECT_LE(static_cast<double>(calls.size()), storm_ms / 100 + 1);
    bool storm_over = false;
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_TRUE(calls[i].second == 0 || calls[i].second == 1) << calls[i].second;
      if (line == 2) {
        storm_over |= calls[i].second == 0;
        EXPECT_EQ(calls[i].second, storm_over ? 0 : 1) << "call " << i;
      }
      if (i > 0) {
        EXPECT_GE(calls[i].first - calls[i - 1].first, milliseconds(99)) << "call " << i;
      }
    }
    EXPECT_EQ(calls.back().second, final_level[line]);
    EXPECT_EQ(kivsim::gpio::isr_threads(kInputs[line]), 1);
  }
}

}  // namespace
