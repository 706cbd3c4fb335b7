// SPDX-License-Identifier: MIT
// The automatic switch-off and the light-on flag under contention.
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "light_fixture.h"

namespace kivtest {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long ms_since(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count());
}

TEST_F(LightControllerTest, AutoOffWaitsTwoPointNineSecondsOrEndsWithTheLight) {
  start();
  // Flag clear: back at once, without a single 100 ms sleep.
  Clock::time_point begin = Clock::now();
  EXPECT_EQ(kiv::custom_light_run(nullptr), nullptr);
  EXPECT_LT(ms_since(begin), 90);
  EXPECT_EQ(sent(), "");

  // Left alone: the light goes off after 29 sleeps of 100 ms.
  ASSERT_EQ(io_->open_light(), 0);
  ASSERT_EQ(sent(2), "35 2D 05 0D 0A | 39 2D 01 0D 0A");
  begin = Clock::now();
  ASSERT_EQ(pthread_create(&kiv::t_light_thread, nullptr, kiv::custom_light_run, nullptr), 0);
  std::vector<kivsim::LightEvent> off = controller_->collect(1, 50, 10000);
  long took = ms_since(begin);
  ASSERT_EQ(pthread_join(kiv::t_light_thread, nullptr), 0);
  EXPECT_EQ(kivsim::frames_hex(off), "39 2D 00 0D 0A");
  EXPECT_GE(took, 2900);
  EXPECT_LT(took, 6000);
  EXPECT_EQ(light_flag(), 0);

  // Switched off by the application meanwhile: the routine ends within one
  // period and sends nothing more.
  ASSERT_EQ(io_->open_light(), 0);
  ASSERT_EQ(sent(1), "39 2D 01 0D 0A");
  ASSERT_EQ(pthread_create(&kiv::t_light_thread, nullptr, kiv::custom_light_run, nullptr), 0);
  std::this_thread::sleep_for(milliseconds(500));
  ASSERT_EQ(io_->close_light(), 0);
  begin = Clock::now();
  ASSERT_EQ(pthread_join(kiv::t_light_thread, nullptr), 0);
  EXPECT_LT(ms_since(begin), 1000);
  EXPECT_EQ(sent(1), "39 2D 00 0D 0A");
  EXPECT_EQ(printed(), "[KIV-IO] Work mode(5): 0\n");
}

// Many threads switch the light on and off while switch-off routines run:
// the light frames alternate, on first, and the flag matches the last one.
TEST_F(LightControllerTest, FlagAndLightFramesAgreeUnderContention) {
  start();
  constexpr int kSwitchers = 8;
  constexpr int kRounds = 1000;
  std::atomic<int> opened{0};
  std::atomic<int> running{kSwitchers};
  std::vector<std::thread> threads;
  for (int t = 0; t < kSwitchers; ++t) {
    threads.emplace_back([&, t] {
      unsigned seed = 2654435761u * static_cast<unsigned>(t + 1);
      for (int round = 0; round < kRounds; ++round) {
        seed = seed * 1103515245u + 12345u;
        if ((seed >> 16) & 1)
          opened += io_->open_light() == 0 ? 1 : 0;
        else
          io_->close_light();
      }
      --running;
    });
  }
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      while (running.load() > 0)
        kiv::custom_light_run(nullptr);
    });
  }
  while (running.load() > 0)
    controller_->read_line(5);
  for (std::thread& t : threads)
    t.join();

  std::vector<kivsim::LightEvent> events = controller_->collect(0);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(kivsim::frame_hex(events[0].frame.bytes), "35 2D 05 0D 0A");
  int on_frames = 0;
  bool last_on = false;
  for (size_t i = 1; i < events.size(); ++i) {
    const std::string& bytes = events[i].frame.bytes;
    ASSERT_EQ(bytes.substr(0, 2), "9-") << "frame " << i << ": " << events[i].frame.meaning;
    bool on = bytes[2] == 1;
    ASSERT_NE(on, last_on) << "frame " << i << " repeats " << events[i].frame.meaning;
    last_on = on;
    on_frames += on ? 1 : 0;
  }
  EXPECT_EQ(on_frames, opened.load());
  EXPECT_EQ(light_flag(), last_on ? 1 : 0);
  EXPECT_EQ(controller_->state().light_on, last_on);
  EXPECT_GT(on_frames, 10) << "the threads hardly met";
}

}  // namespace
}  // namespace kivtest
