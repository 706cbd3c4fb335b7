// SPDX-License-Identifier: MIT
// Callbacks registered with a user pointer: each line hands the pointer back
// on the thread its plain callback runs on, and the two forms replace each
// other.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>

#include "kiv_io.h"
#include "test_support.h"
#include "wiringPi_sim.h"

using kiv::KivIo;
namespace gpio = kivsim::gpio;

namespace {

// One line's record: what the callback of each form saw.
struct Token {
  std::mutex mutex;
  std::atomic<int> plain_calls{0};
  std::atomic<int> pair_calls{0};
  pthread_t plain_thread{};
  pthread_t pair_thread{};
  void* pair_user = nullptr;
  std::string pair_bytes;

  void plain() {
    std::lock_guard<std::mutex> lock(mutex);
    plain_thread = pthread_self();
    ++plain_calls;
  }
  void pair(void* user, const std::string& bytes = "") {
    std::lock_guard<std::mutex> lock(mutex);
    pair_thread = pthread_self();
    pair_user = user;
    pair_bytes = bytes;
    ++pair_calls;
  }
};

enum LineId { kInput, kTrigger, kTune, kHardware, kAma1, kAma2, kLines };
Token g_tokens[kLines];

template <LineId line>
void plain_level(int) {
  g_tokens[line].plain();
}
template <LineId line>
void plain_hardware() {
  g_tokens[line].plain();
}
template <LineId line>
void plain_chunk(char*) {
  g_tokens[line].plain();
}
void pair_level(int, void* user) {
  static_cast<Token*>(user)->pair(user);
}
void pair_hardware(void* user) {
  static_cast<Token*>(user)->pair(user);
}
void pair_data(const unsigned char* data, int len, void* user) {
  static_cast<Token*>(user)->pair(
      user, std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(len)));
}

TEST(FacadeUserPointer, EachOverloadHandsItsPointerBackOnItsLinesThread) {
  int com1 = kivsim::Sandbox::add_port("/dev/com1");
  int com2 = kivsim::Sandbox::add_port("/dev/com2");
  ASSERT_GE(com1, 0);
  ASSERT_GE(com2, 0);
  kivtest::StdoutCapture out;
  KivIo* io = KivIo::getInstance();
  io->setup();
  kivtest::drain(com2);
  int level = 0;
  const auto edge = [&level](int pin) {
    level ^= 1;
    return gpio::inject_edge(pin, level);
  };
  const std::string payload("a\0b", 3);
  const struct {
    LineId id;
    std::function<void()> plain;
    std::function<void(void*)> pair;
    std::function<bool()> raise;
    void (*KivIo::*member)(int);  // the line's plain pointer, when it is an input
  } lines[] = {
      {kInput, [&] { io->registerInput(plain_level<kInput>); },
       [&](void* u) { io->registerInput(pair_level, u); }, [&] { return edge(17); },
       &KivIo::inputCallback},
      {kTrigger, [&] { io->registerTrigger(plain_level<kTrigger>); },
       [&](void* u) { io->registerTrigger(pair_level, u); }, [&] { return edge(12); },
       &KivIo::triggerCallback},
      {kTune, [&] { io->registerTune(plain_level<kTune>); },
       [&](void* u) { io->registerTune(pair_level, u); }, [&] { return edge(20); },
       &KivIo::tuneCallback},
      {kHardware, [&] { io->registerHardware(plain_hardware<kHardware>); },
       [&](void* u) { io->registerHardware(pair_hardware, u); },
       [&] { return kivtest::write_all(com2, "\xFF\xAA\xEE", 3); }, nullptr},
      {kAma1, [&] { io->setAMA1Callback(plain_chunk<kAma1>); },
       [&](void* u) { io->setAMA1Callback(pair_data, u); },
       [&] { return kivtest::write_all(com1, payload.data(), payload.size()); }, nullptr},
      {kAma2, [&] { io->setAMA2Callback(plain_chunk<kAma2>); },
       [&](void* u) { io->setAMA2Callback(pair_data, u); },
       [&] { return kivtest::write_all(com2, payload.data(), payload.size()); }, nullptr},
  };
  for (const auto& line : lines) {
    Token& token = g_tokens[line.id];
    const std::string name = "line " + std::to_string(line.id);
    line.plain();
    ASSERT_TRUE(line.raise()) << name;
    ASSERT_TRUE(kivtest::wait_until([&] { return token.plain_calls.load() == 1; })) << name;

    line.pair(&token);
    if (line.member != nullptr) {
      EXPECT_EQ(io->*line.member, nullptr) << name;
    }
    if (line.id == kHardware) {
      EXPECT_EQ(io->hardwareCallback, nullptr);
    }
    ASSERT_TRUE(line.raise()) << name;
    ASSERT_TRUE(kivtest::wait_until([&] { return token.pair_calls.load() == 1; })) << name;
    {
      std::lock_guard<std::mutex> lock(token.mutex);
      EXPECT_EQ(token.pair_user, &token) << name;
      EXPECT_NE(pthread_equal(token.pair_thread, token.plain_thread), 0) << name;
      EXPECT_EQ(pthread_equal(token.pair_thread, pthread_self()), 0) << name;
      if (line.id == kAma1 || line.id == kAma2) {
        EXPECT_EQ(token.pair_bytes, payload) << name;
      }
    }

    // And back: the plain form replaces the pair.
    line.plain();
    ASSERT_TRUE(line.raise()) << name;
    ASSERT_TRUE(kivtest::wait_until([&] { return token.plain_calls.load() == 2; })) << name;
    usleep(20000);
    EXPECT_EQ(token.plain_calls.load(), 2) << name;
    EXPECT_EQ(token.pair_calls.load(), 1) << name;
  }
  for (int pin : {17, 12, 20})
    ASSERT_TRUE(gpio::wait_handler_idle(pin));
  KivIo::close_io();
  EXPECT_EQ(gpio::fault_count(), 0);
}

}  // namespace
