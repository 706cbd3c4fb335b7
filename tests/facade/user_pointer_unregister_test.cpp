// SPDX-License-Identifier: MIT
// An application frees the object behind a callback's user pointer right
// after unregistering it, replacing it or close_io, while edges and chunks
// keep arriving: a call still running would touch freed memory (a heap use
// after free under AddressSanitizer; the running-call check below without it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "kiv_io.h"
#include "test_support.h"
#include "wiringPi_sim.h"

using kiv::KivIo;
namespace gpio = kivsim::gpio;

namespace {

struct Receiver {
  long calls = 0;
};

// The user pointer of the call running now, if any.
std::atomic<void*> g_running_with{nullptr};

// Lingers before it touches its object, so that a caller which does not wait
// has freed it by then.
void touch(void* user) {
  g_running_with = user;
  usleep(20000);
  ++static_cast<Receiver*>(user)->calls;
  g_running_with = nullptr;
}
void on_level(int, void* user) {
  touch(user);
}
void on_hardware(void* user) {
  touch(user);
}
void on_data(const unsigned char*, int, void* user) {
  touch(user);
}
void plain_level(int) {}
void plain_hardware() {}
void plain_chunk(char*) {}

// How a line's callback with a user pointer is registered and unregistered,
// and its plain form.
struct Line {
  const char* name;
  std::function<void(KivIo*, void*)> pair;
  std::function<void(KivIo*)> unregister;
  std::function<void(KivIo*)> plain;
};

enum class Removal { kUnregister, kReplace, kPlain, kCloseIo };

TEST(FacadeUserPointer, TheObjectMayBeFreedOnceItsCallbackIsGone) {
  const int com1 = kivsim::Sandbox::add_port("/dev/com1");
  const int com2 = kivsim::Sandbox::add_port("/dev/com2");
  ASSERT_GE(com1, 0);
  ASSERT_GE(com2, 0);
  kivtest::StdoutCapture out;
  const Line lines[] = {
      {"input", [](KivIo* io, void* u) { io->registerInput(on_level, u); },
       [](KivIo* io) { io->registerInput(nullptr, nullptr); },
       [](KivIo* io) { io->registerInput(plain_level); }},
      {"hardware", [](KivIo* io, void* u) { io->registerHardware(on_hardware, u); },
       [](KivIo* io) { io->registerHardware(nullptr, nullptr); },
       [](KivIo* io) { io->registerHardware(plain_hardware); }},
      {"AMA1", [](KivIo* io, void* u) { io->setAMA1Callback(on_data, u); },
       [](KivIo* io) { io->setAMA1Callback(nullptr, nullptr); },
       [](KivIo* io) { io->setAMA1Callback(plain_chunk); }},
      {"AMA2", [](KivIo* io, void* u) { io->setAMA2Callback(on_data, u); },
       [](KivIo* io) { io->setAMA2Callback(nullptr, nullptr); },
       [](KivIo* io) { io->setAMA2Callback(plain_chunk); }},
  };
  const Removal removals[] = {Removal::kUnregister, Removal::kReplace, Removal::kPlain,
                              Removal::kCloseIo};

  // Edges on the input line and chunks on both ports keep coming; the
  // notifications are spaced so that each arrives in a read of its own.
  std::atomic<bool> feeding{true};
  std::thread feeder([&] {
    for (int level = 1; feeding.load(); level ^= 1) {
      gpio::inject_edge(17, level);
      kivtest::write_all(com1, "\x00\x01", 2);
      kivtest::write_all(com2, "\xFF\xAA\xEE", 3);
      usleep(30000);
    }
  });
  for (const Line& line : lines) {
    for (Removal removal : removals) {
      KivIo* io = KivIo::getInstance();
      io->setup();
      auto* receiver = new Receiver();
      line.pair(io, receiver);
      ASSERT_TRUE(kivtest::wait_until([&] { return g_running_with.load() == receiver; }))
          << line.name;
      Receiver* replacement = nullptr;
      switch (removal) {
        case Removal::kUnregister:
          line.unregister(io);
          break;
        case Removal::kReplace:
          replacement = new Receiver();
          line.pair(io, replacement);
          break;
        case Removal::kPlain:
          line.plain(io);
          break;
        case Removal::kCloseIo:
          KivIo::close_io();
          break;
      }
      EXPECT_NE(g_running_with.load(), receiver)
          << line.name << ", removal " << static_cast<int>(removal) << ": returned during a call";
      delete receiver;
      KivIo::close_io();
      delete replacement;
    }
  }
  feeding = false;
  feeder.join();
  ASSERT_TRUE(gpio::wait_handler_idle(17));
}

}  // namespace
