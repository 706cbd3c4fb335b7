// SPDX-License-Identifier: MIT
// close_io() and setup() a thousand times while both peers send, edges
// arrive and four application threads use the light controller, the lens,
// the strip and com1 between the cycles (pausing around each, since
// close_io() must not race with other calls). Every write that succeeded
// reaches com1's peer, and descriptors, threads and resident memory come
// back to where they were.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "fault_fixture.h"
#include "i2c_sim.h"
#include "wiringPi_sim.h"
#include "ws2811_sim.h"

namespace {

using std::chrono::milliseconds;

// Not under the sanitizers or the emulator (see CMakeLists.txt).
#ifdef KIV_FAULTS_NO_MEMORY_BOUND
constexpr bool kJudgeResidentMemory = false;
#else
constexpr bool kJudgeResidentMemory = true;
#endif

long resident_kib() {
  long size = 0;
  long resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "re")) {
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2)
      resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::atomic<long> g_received_by_library{0};
void count_bytes(const unsigned char*, int len, void*) {
  g_received_by_library += len;
}
void ignore_level(int) {}

// One application thread's call, by thread and round.
void application_call(int id, unsigned round, std::atomic<long>& written) {
  kiv::KivIo* io = kiv::KivIo::getInstance();
  switch ((static_cast<unsigned>(id) + round) % 4) {
    case 0:
      io->enableLightSection(1 + static_cast<int>(round % 4));
      break;
    case 1:
      io->setLiquid(static_cast<int>(round % 46001));
      io->getLiquid();
      break;
    case 2:
      io->setRgbLight_rgb(static_cast<unsigned char>(round), 0, 0);
      break;
    default: {
      char message[32] = "0123456789abcdefghijklmnopqrstu";
      if (io->writeAMA1(message, sizeof message) == 0)
        written += sizeof message;
      break;
    }
  }
}

// The application's calls step aside for each close and set-up; a cycle
// waiting for them goes before new calls, so that it never starves.
class CallGate {
 public:
  void enter() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !cycling_; });
    ++calls_;
  }
  void leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--calls_ == 0)
      changed_.notify_all();
  }
  void close() {
    std::unique_lock<std::mutex> lock(mutex_);
    cycling_ = true;
    changed_.wait(lock, [&] { return calls_ == 0; });
  }
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    cycling_ = false;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool cycling_ = false;
  int calls_ = 0;
};

using SetupCyclesTest = kivtest::FaultTest;

TEST_F(SetupCyclesTest, CloseAndSetUpAgainUnderTrafficLeavesNothingBehind) {
  CallGate gate;
  std::atomic<bool> running{true};
  std::atomic<bool> peers_running{true};
  std::atomic<long> written{0};
  std::atomic<long> peer_received{0};
  std::vector<std::thread> threads;
  // Both peers send and read all the time.
  threads.emplace_back([&] {
    pollfd fds[2] = {{peer1_, POLLIN, 0}, {peer2_, POLLIN, 0}};
    char chunk[256] = "from the peer";
    while (peers_running.load()) {
      (void)!::write(peer1_, chunk, 16);
      (void)!::write(peer2_, chunk, 16);
      if (poll(fds, 2, 1) <= 0)
        continue;
      for (int i = 0; i < 2; ++i)
        if (fds[i].revents & POLLIN) {
          const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
          if (i == 0 && n > 0)
            peer_received += n;
        }
    }
  });
  threads.emplace_back([&] {
    for (int level = 0; running.load(); level ^= 1) {
      for (int pin : {17, 12, 20})
        (void)kivsim::gpio::inject_edge(pin, level);
      std::this_thread::sleep_for(milliseconds(5));
    }
  });
  for (int id = 0; id < 4; ++id)
    threads.emplace_back([&, id] {
      for (unsigned round = 0; running.load(); ++round) {
        gate.enter();
        application_call(id, round, written);
        gate.leave();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });

  const int cycles = kivtest::scaled(1000);
  long settled_kib = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    gate.close();
    kiv::KivIo::close_io();
    io_ = kiv::KivIo::getInstance();
    io_->setup();
    io_->setAMA1Callback(count_bytes, nullptr);
    io_->setAMA2Callback(count_bytes, nullptr);
    io_->registerInput(ignore_level);
    // The stand-ins' records of every call would hide the library's memory.
    kivsim::gpio::clear_calls();
    kivsim::strip::clear();
    kivsim::i2c::clear_transfers();
    gate.open();
    std::this_thread::sleep_for(milliseconds(1));
    if (cycle == cycles / 10)
      settled_kib = resident_kib();
  }
  running = false;
  for (size_t i = 1; i < threads.size(); ++i)
    threads[i].join();
  const long end_kib = resident_kib();
  // Closed while the peers still read, so that what was written leaves.
  kiv::KivIo::close_io();
  peers_running = false;
  threads[0].join();
  peer_received += static_cast<long>(kivtest::drain(peer1_).size());

  EXPECT_GT(g_received_by_library.load(), 0);
  EXPECT_GT(written.load(), 0);
  EXPECT_EQ(peer_received.load(), written.load());
  if (kJudgeResidentMemory) {
    EXPECT_LE(end_kib - settled_kib, 1024) << settled_kib << " KiB after the first cycles";
  }
}

}  // namespace
