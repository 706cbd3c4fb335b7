// SPDX-License-Identifier: MIT
// Opens, closes, registrations and writes at random, from application
// threads and from both ports' data callbacks at once, for a few seconds. The
// application threads free a data callback's object as soon as a close or an
// unregistration of it returns, as the header allows: a call still running
// would find it freed. A wait that never ends stops all progress.
#include <unistd.h>

#include <random>
#include <thread>

#include "serial_fixture.h"

namespace kivtest {
namespace {

struct Receiver {
  std::atomic<long> alive{1};
  long bytes = 0;
};

char com3[] = "/dev/com3";
char* const kPaths[] = {com1, com2, com3};
std::atomic<int> g_freed_in_use{0};
thread_local std::minstd_rand t_random;

int pick(int n) {
  return static_cast<int>(t_random() % static_cast<unsigned>(n));
}

void receive(const unsigned char* data, int len, void* user);

// One call, on any slot; from a callback it never frees anything.
void random_call() {
  const int index = pick(2);
  switch (pick(8)) {
    case 0:
    case 1:
      SerialPortInit(kPaths[pick(3)], 115200);
      break;
    case 2:
    case 3:
      SerialPortFree(index);
      break;
    case 4:
      SetReadSerialPortDataCallback(nullptr, nullptr, index);
      break;
    default: {
      char bytes[] = "abcd";
      WriteSerialPort(bytes, 4, index);
    }
  }
}

void receive(const unsigned char*, int len, void* user) {
  auto* receiver = static_cast<Receiver*>(user);
  if (receiver->alive.load() != 1)
    g_freed_in_use = 1;
  usleep(static_cast<useconds_t>(pick(1500)));
  if (pick(3) == 0)
    random_call();
  if (receiver->alive.load() != 1)
    g_freed_in_use = 1;
  receiver->bytes += len;
}

// Registers an object of its own on a slot, lets chunks reach it, removes it
// and frees it at once.
void own_object_round() {
  const int index = pick(2);
  auto* receiver = new Receiver();
  if (SerialPortInit(kPaths[index], 115200) == 0 &&
      SetReadSerialPortDataCallback(receive, receiver, index) == 0) {
    usleep(static_cast<useconds_t>(pick(3000)));
    if (pick(2) == 0)
      SerialPortFree(index);
    else
      SetReadSerialPortDataCallback(nullptr, nullptr, index);
  }
  receiver->alive = 0;
  delete receiver;
}

TEST_F(SerialTest, RandomCallsFromCallbacksAndThreadsNeitherHangNorReturnEarly) {
  const int peer3 = kivsim::Sandbox::add_port(com3);
  ASSERT_GE(peer3, 0);
  std::atomic<bool> running{true};
  std::thread peers([&] {
    const int all[] = {peer1_, peer2_, peer3};
    for (int p : all)
      fcntl(p, F_SETFL, fcntl(p, F_GETFL) | O_NONBLOCK);
    char sink[4096];
    while (running) {
      for (int p : all) {
        (void)!write(p, "x", 1);
        while (read(p, sink, sizeof sink) > 0) {
        }
      }
      usleep(300);
    }
  });
  std::atomic<long> calls{0};
  std::atomic<int> finished{0};
  const unsigned seed = static_cast<unsigned>(time(nullptr));
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      t_random.seed(seed + t);
      while (running) {
        if (pick(4) == 0)
          own_object_round();
        else
          random_call();
        calls.fetch_add(1);
      }
      finished.fetch_add(1);
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(3));
  running = false;
  // Each thread ends after its call in progress; ten seconds without that is
  // a wait that will never end.
  if (!wait_until([&] { return finished.load() == 3; }, std::chrono::seconds(10))) {
    std::fprintf(stderr, "a call never returned (seed %u)\n", seed);
    std::abort();
  }
  for (auto& t : threads)
    t.join();
  peers.join();
  EXPECT_EQ(g_freed_in_use.load(), 0) << "a callback ran with a freed object (seed " << seed << ")";
  EXPECT_GT(calls.load(), 100);
  SerialPortFree(0);
  SerialPortFree(1);
  EXPECT_EQ(count_threads(), threads_before_);
}

}  // namespace
}  // namespace kivtest
