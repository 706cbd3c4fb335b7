// SPDX-License-Identifier: MIT
// Whoever unregisters or replaces a data callback, or closes its port, may
// free the callback's object as soon as that returns, while chunks keep
// arriving: a call still running would touch freed memory (a heap use after
// free under AddressSanitizer; the running-call check below without it).
#include <unistd.h>

#include <functional>
#include <thread>

#include "serial_fixture.h"

namespace kivtest {
namespace {

// The application's object behind the user pointer.
struct Receiver {
  long bytes = 0;
  unsigned char last = 0;
};

// The user pointer of the call running now, if any.
std::atomic<void*> g_running_with{nullptr};

// Lingers inside the call before it touches its object, so that a caller
// which does not wait has freed it by then.
void slow_receive(const unsigned char* data, int len, void* user) {
  g_running_with = user;
  usleep(20000);
  auto* receiver = static_cast<Receiver*>(user);
  receiver->bytes += len;
  receiver->last = data[len - 1];
  g_running_with = nullptr;
}

void ignore_string(char*) {}

TEST_F(SerialTest, TheObjectMayBeFreedOnceItsCallbackIsGone) {
  const struct {
    const char* name;
    std::function<void(Receiver*& replacement)> remove;
  } cases[] = {
      {"unregistered", [](Receiver*&) { SetReadSerialPortDataCallback(nullptr, nullptr, 0); }},
      {"replaced by another object",
       [](Receiver*& replacement) {
         replacement = new Receiver();
         SetReadSerialPortDataCallback(slow_receive, replacement, 0);
       }},
      {"replaced by a string callback",
       [](Receiver*&) { svSetSerialReadCallback(ignore_string, 0); }},
      {"port closed", [](Receiver*&) { SerialPortFree(0); }},
  };
  // Chunks keep coming, zeros among them.
  std::atomic<bool> sending{true};
  std::thread peer([&] {
    const unsigned char chunk[] = {0x00, 0x11, 0x00, 0x22};
    while (sending.load()) {
      write_all(peer1_, chunk, sizeof chunk);
      usleep(2000);
    }
  });
  for (const auto& c : cases) {
    for (int round = 0; round < 3; ++round) {
      ASSERT_EQ(SerialPortInit(com1, 115200), 0);
      auto* receiver = new Receiver();
      ASSERT_EQ(SetReadSerialPortDataCallback(slow_receive, receiver, 0), 0);
      ASSERT_TRUE(wait_until([&] { return g_running_with.load() == receiver; })) << c.name;
      Receiver* replacement = nullptr;
      c.remove(replacement);
      EXPECT_NE(g_running_with.load(), receiver) << c.name << ": returned during a call";
      delete receiver;
      SerialPortFree(0);
      delete replacement;
    }
  }
  sending = false;
  peer.join();
}

// A close under way joins the reader, which may still hold a chunk it read
// before the close began: an unregistration or replacement made meanwhile
// waits for the close, since that chunk still goes to the callback it removes.
TEST_F(SerialTest, TheObjectMayBeFreedOnceItsCallbackIsGoneDuringAClose) {
  static std::atomic<int> used_freed{0};
  static auto receive = [](const unsigned char*, int, void* user) {
    if (static_cast<Receiver*>(user)->bytes < 0)
      used_freed.fetch_add(1);
  };
  const struct {
    const char* name;
    std::function<void()> remove;
  } cases[] = {
      {"unregistered", [] { SetReadSerialPortDataCallback(nullptr, nullptr, 0); }},
      {"replaced by a string callback", [] { svSetSerialReadCallback(ignore_string, 0); }},
  };
  StdoutCapture out;
  for (const auto& c : cases) {
    for (int round = 0; round < 3; ++round) {
      ASSERT_EQ(SerialPortInit(com1, 115200), 0);
      // Kept, and marked freed, so that a late call is seen, not undefined.
      Receiver receiver;
      ASSERT_EQ(SetReadSerialPortDataCallback(receive, &receiver, 0), 0);
      read_held = false;
      hold_read_fd = printed_fd(out.text());
      ASSERT_TRUE(write_all(peer1_, "abc", 3));
      ASSERT_TRUE(wait_until([] { return read_held.load(); })) << c.name;
      std::thread closer([] { SerialPortFree(0); });
      // A write fails once the close has begun.
      char byte[] = "x";
      ASSERT_TRUE(wait_until([&] { return WriteSerialPort(byte, 1, 0) != 0; })) << c.name;
      c.remove();
      receiver.bytes = -1;
      closer.join();
      EXPECT_EQ(used_freed.exchange(0), 0) << c.name << ", round " << round;
    }
  }
}

}  // namespace
}  // namespace kivtest
