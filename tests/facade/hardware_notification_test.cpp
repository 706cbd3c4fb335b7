// SPDX-License-Identifier: MIT
// The hardware notification FF AA EE from the simulated controller: which
// chunks count, on which thread the callback runs, and setAMA2Callback.
#include <pthread.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "light_fixture.h"

namespace kivtest {
namespace {

std::atomic<int> g_calls{0};
std::atomic<bool> g_on_test_thread{false};
pthread_t g_test_thread;
void on_hardware() {
  g_on_test_thread = g_on_test_thread || pthread_equal(pthread_self(), g_test_thread);
  ++g_calls;
}

// Each chunk, recorded once handled: a test sends the next one only then, so
// that each arrives in a read of its own.
std::mutex g_mutex;
std::vector<std::string> g_chunks;
void record_chunk(char* chunk) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_chunks.push_back(chunk);
}
void handle_and_record(char* chunk) {
  kiv::callbackHardware(chunk);
  record_chunk(chunk);
}
std::string chunk(size_t i) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return i < g_chunks.size() ? g_chunks[i] : "(none yet)";
}

TEST_F(LightControllerTest, OnlyTheNotificationAloneInOneReadReachesTheCallback) {
  start();
  g_test_thread = pthread_self();
  io_->registerHardware(on_hardware);
  ASSERT_TRUE(controller_->send_notification());  // to the handler that setup installed
  ASSERT_TRUE(wait_until([] { return g_calls.load() == 1; }));
  EXPECT_FALSE(g_on_test_thread.load());

  io_->setAMA2Callback(handle_and_record);
  const std::pair<std::string, int> cases[] = {
      {"\xFF\xAA", 0},  // one notification split over two reads
      {"\xEE", 0},
      {"\xFF\xAA\xEE\x41", 0},
      {"\xAA\xEE", 0},
      {"\xFF\xAA\xEE\r", 0},
      {std::string("\xFF\xAA\xEE\x00", 4), 1},  // a chunk is a string: it ends at the zero
      {"\xFF\xAA\xEE", 1},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const int before = g_calls.load();
    ASSERT_TRUE(controller_->send(cases[i].first));
    ASSERT_TRUE(wait_until([i] { return chunk(i) != "(none yet)"; }));
    EXPECT_EQ(chunk(i), cases[i].first.c_str()) << i;
    EXPECT_EQ(g_calls.load() - before, cases[i].second) << i;
  }
  io_->registerHardware(nullptr);
  ASSERT_TRUE(controller_->send_notification());
  ASSERT_TRUE(wait_until([] { return chunk(7) != "(none yet)"; }));
  EXPECT_EQ(g_calls.load(), 3);
  EXPECT_EQ(sent() + printed(), "");
}

TEST_F(LightControllerTest, AfterSetAma2CallbackChunksReachOnlyThatCallback) {
  start();
  io_->registerHardware(on_hardware);
  io_->setAMA2Callback(record_chunk);
  ASSERT_TRUE(controller_->send_notification());
  ASSERT_TRUE(wait_until([] { return chunk(0) == "\xFF\xAA\xEE"; }));
  EXPECT_EQ(g_calls.load(), 0);
}

}  // namespace
}  // namespace kivtest
