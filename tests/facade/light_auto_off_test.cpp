// SPDX-License-Identifier: MIT
// The automatic switch-off, and the light-on flag under contention.
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "light_fixture.h"

namespace kivtest {
namespace {

using Clock = std::chrono::steady_clock;

long ms_since(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST_F(LightControllerTest, AutoOffWaitsTwoPointNineSecondsOrEndsWithTheLight) {
  start();
  Clock::time_point begin = Clock::now();
  EXPECT_EQ(kiv::custom_light_run(nullptr), nullptr);  // flag clear: not a single sleep
  EXPECT_LT(ms_since(begin), 90);

  ASSERT_EQ(io_->open_light(), 0);
  ASSERT_EQ(sent(2), "35 2D 05 0D 0A | 39 2D 01 0D 0A");
  begin = Clock::now();
  ASSERT_EQ(pthread_create(&kiv::t_light_thread, nullptr, kiv::custom_light_run, nullptr), 0);
  std::string off = kivsim::frames_hex(controller_->collect(1, 50, 10000));
  long took = ms_since(begin);
  ASSERT_EQ(pthread_join(kiv::t_light_thread, nullptr), 0);
  EXPECT_EQ(off, "39 2D 00 0D 0A");
  EXPECT_GE(took, 2900);  // 29 sleeps of 100 ms
  EXPECT_LT(took, 6000);
  EXPECT_EQ(light_flag(), 0);

  // Switched off meanwhile: the routine ends within a period, sending nothing.
  ASSERT_EQ(io_->open_light(), 0);
  ASSERT_EQ(pthread_create(&kiv::t_light_thread, nullptr, kiv::custom_light_run, nullptr), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_EQ(io_->close_light(), 0);
  begin = Clock::now();
  ASSERT_EQ(pthread_join(kiv::t_light_thread, nullptr), 0);
  EXPECT_LT(ms_since(begin), 1000);
  EXPECT_EQ(sent(2), "39 2D 01 0D 0A | 39 2D 00 0D 0A");
}

// Threads switch the light on and off while switch-off routines run: the
// light frames alternate, on first, and the flag matches the last one.
TEST_F(LightControllerTest, FlagAndLightFramesAgreeUnderContention) {
  start();
  std::atomic<int> opened{0}, running{8};
  std::vector<std::thread> threads;
  for (unsigned t = 1; t <= 8; ++t) {
    threads.emplace_back([&, seed = t * 2654435761u]() mutable {
      for (int round = 0; round < 2000; ++round) {
        seed = seed * 1103515245u + 12345u;
        if ((seed >> 16) & 1)
          opened += io_->open_light() == 0;
        else
          io_->close_light();
      }
      --running;
    });
  }
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&] {
      while (running > 0)
        kiv::custom_light_run(nullptr);
    });
  while (running > 0)
    controller_->read_line(5);
  for (std::thread& t : threads)
    t.join();

  std::vector<kivsim::LightEvent> events = controller_->collect(0);
  ASSERT_GT(events.size(), 10u) << "the threads hardly met";
  EXPECT_EQ(kivsim::frame_hex(events[0].frame.bytes), "35 2D 05 0D 0A");
  int on_frames = 0;
  for (size_t i = 1; i < events.size(); ++i) {
    const std::string& frame = events[i].frame.bytes;
    ASSERT_EQ(frame.substr(0, 2) + frame[2], std::string("9-") + (i % 2 ? '\1' : '\0')) << i;
    on_frames += static_cast<int>(i % 2);
  }
  EXPECT_EQ(on_frames, opened.load());
  EXPECT_EQ(light_flag(), events.size() % 2 == 0 ? 1 : 0);
}

}  // namespace
}  // namespace kivtest
