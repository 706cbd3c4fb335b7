// SPDX-License-Identifier: MIT
// The hardware notification FF AA EE: which chunks count, and what reaches
// the callback from the simulated controller over "/dev/com2".
#include <pthread.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "light_fixture.h"

namespace kivtest {
namespace {

using kiv::KivIo;

std::atomic<int> g_calls{0};
std::atomic<bool> g_on_test_thread{false};
pthread_t g_test_thread;
void on_hardware() {
  if (pthread_equal(pthread_self(), g_test_thread))
    g_on_test_thread = true;
  ++g_calls;
}

std::mutex g_chunks_mutex;
std::vector<std::string> g_chunks;
// Records each chunk once it has been handled, so a test knows when it may
// send the next one and that it came in a read of its own.
void record_chunk(char* chunk) {
  std::lock_guard<std::mutex> lock(g_chunks_mutex);
  g_chunks.push_back(chunk);
}
void handle_and_record(char* chunk) {
  kiv::callbackHardware(chunk);
  record_chunk(chunk);
}
size_t chunk_count() {
  std::lock_guard<std::mutex> lock(g_chunks_mutex);
  return g_chunks.size();
}
std::string chunk(size_t i) {
  std::lock_guard<std::mutex> lock(g_chunks_mutex);
  return i < g_chunks.size() ? g_chunks[i] : "(none)";
}

TEST(HardwareNotification, OnlyTheThreeBytesAloneCount) {
  struct {
    std::string chunk;
    int calls;
  } cases[] = {
      {std::string("\xFF\xAA\xEE", 3), 1},
      {std::string("\xFF\xAA\xEE\x00\x41", 5), 1},  // a string ends at its zero byte
      {std::string("\x41\xFF\xAA", 3), 0},
      {std::string("\xFF\xAB\xEE", 3), 0},
      {std::string("\xEE\xAA\xFF", 3), 0},
      {std::string(), 0},
  };
  KivIo::getInstance()->registerHardware(on_hardware);
  for (const auto& c : cases) {
    std::string chunk = c.chunk;  // zero-terminated, as the reader hands it over
    g_calls = 0;
    kiv::callbackHardware(&chunk[0]);
    EXPECT_EQ(g_calls.load(), c.calls) << hex(Bytes(c.chunk.begin(), c.chunk.end()));
  }
  char notification[] = "\xFF\xAA\xEE";
  g_calls = 0;
  KivIo::getInstance()->registerHardware(nullptr);
  kiv::callbackHardware(notification);
  kiv::callbackHardware(nullptr);
  EXPECT_EQ(g_calls.load(), 0);
  // A chunk after close_io meets a fresh instance, without a callback.
  KivIo::getInstance()->registerHardware(on_hardware);
  KivIo::close_io();
  kiv::callbackHardware(notification);
  EXPECT_EQ(g_calls.load(), 0);
  EXPECT_EQ(KivIo::instance->hardwareCallback, nullptr);
  KivIo::close_io();
}

TEST_F(LightControllerTest, NotificationFromTheControllerReachesTheCallbackOnTheReader) {
  start();
  g_test_thread = pthread_self();
  io_->registerHardware(on_hardware);
  ASSERT_TRUE(controller_->send_notification());
  ASSERT_TRUE(wait_until([] { return g_calls.load() == 1; }));
  EXPECT_FALSE(g_on_test_thread.load());

  // Chunk by chunk through the same handler, each sent once the one before
  // has been handled: a notification split over two reads, other bytes with
  // it, and a zero byte after it.
  io_->setAMA2Callback(handle_and_record);
  struct {
    std::string bytes;
    const char* chunk;
    int calls;
  } cases[] = {
      {"\xFF\xAA", "\xFF\xAA", 0},
      {"\xEE", "\xEE", 0},
      {"\xFF\xAA\xEE\x41", "\xFF\xAA\xEE\x41", 0},
      {"\xAA\xEE", "\xAA\xEE", 0},
      {"\xFF\xAA\xEE\r", "\xFF\xAA\xEE\r", 0},
      {std::string("\xFF\xAA\xEE\x00", 4), "\xFF\xAA\xEE", 1},
      {"\xFF\xAA\xEE", "\xFF\xAA\xEE", 1},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    SCOPED_TRACE(i);
    const int before = g_calls.load();
    ASSERT_TRUE(controller_->send(cases[i].bytes));
    ASSERT_TRUE(wait_until([i] { return chunk_count() > i; }));
    EXPECT_EQ(chunk(i), cases[i].chunk);
    EXPECT_EQ(g_calls.load() - before, cases[i].calls);
  }
  EXPECT_EQ(chunk_count(), sizeof cases / sizeof cases[0]);
  EXPECT_EQ(sent(), "");
  EXPECT_EQ(printed(), "");
}

TEST_F(LightControllerTest, AfterSetAma2CallbackChunksReachOnlyThatCallback) {
  start();
  io_->registerHardware(on_hardware);
  io_->setAMA2Callback(record_chunk);
  ASSERT_TRUE(controller_->send_notification());
  ASSERT_TRUE(wait_until([] { return chunk_count() == 1; }));
  EXPECT_EQ(chunk(0), "\xFF\xAA\xEE");
  EXPECT_EQ(g_calls.load(), 0);
}

}  // namespace
}  // namespace kivtest
