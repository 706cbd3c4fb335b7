// SPDX-License-Identifier: MIT
// Shared set-up of the serial tests: a sandbox whose "/dev/com1" and
// "/dev/com2" are pseudo-terminals, the test holding their master sides.
#pragma once

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "kiv_serial.h"
#include "test_support.h"

namespace kivtest {

// Set it to n to make the next n thread creations of the process fail.
extern std::atomic<int> fail_next_thread_creations;

// Set it to n >= 0 to make every line's output queue count n bytes.
extern std::atomic<int> fake_output_queue;
// While true, every line's transmitter reports bytes still leaving it.
extern std::atomic<bool> fake_transmitter_busy;
// Every read of slow_read_fd (-1: none) first waits 300 ms, with its
// buffer in slow_read_into, then sets slow_read_done once it is over.
extern std::atomic<int> slow_read_fd;
extern std::atomic<void*> slow_read_into;
extern std::atomic<bool> slow_read_done;
// The next read of hold_read_fd (-1: none) that returns bytes holds them
// 100 ms before it returns, and sets read_held as it starts holding.
extern std::atomic<int> hold_read_fd;
extern std::atomic<bool> read_held;
// What the latest tcflush discarded (TCIFLUSH, TCOFLUSH or TCIOFLUSH).
extern std::atomic<int> last_flush_selector;

// The settings last applied to `fd` with tcsetattr.
bool applied_settings(int fd, termios* out);

// The descriptor of the first "serial index  %d  fd  %d" line in `out`.
inline int printed_fd(const std::string& out) {
  int index = -1, fd = -1;
  size_t at = out.find("serial index");
  if (at != std::string::npos)
    std::sscanf(out.c_str() + at, "serial index  %d  fd  %d", &index, &fd);
  return fd;
}

inline char com1[] = "/dev/com1";
inline char com2[] = "/dev/com2";

class SerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KIV_REQUIRE_SANDBOX();
    peer1_ = kivsim::Sandbox::add_port(com1);
    peer2_ = kivsim::Sandbox::add_port(com2);
    ASSERT_GE(peer1_, 0);
    ASSERT_GE(peer2_, 0);
    fds_before_ = count_open_fds();
    threads_before_ = count_threads();
  }
  void TearDown() override {
    SerialPortFree(0);
    SerialPortFree(1);
  }

  // The line settings of a port as seen from its device side.
  static termios settings_of(const char* dev) {
    termios t{};
    int fd = open(kivsim::Sandbox::port_slave(dev).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    tcgetattr(fd, &t);
    close(fd);
    return t;
  }

  int peer1_ = -1;
  int peer2_ = -1;
  int fds_before_ = 0;
  int threads_before_ = 0;
};

// Collects the chunks a read callback receives.
struct ChunkLog {
  std::mutex mutex;
  std::vector<std::string> chunks;  // as strlen sees them
  std::atomic<int> calls{0};

  void add(const char* chunk) {
    std::lock_guard<std::mutex> lock(mutex);
    chunks.emplace_back(chunk);
    calls.fetch_add(1);
  }
  std::string joined() {
    std::lock_guard<std::mutex> lock(mutex);
    std::string all;
    for (auto& c : chunks)
      all += c;
    return all;
  }
};

}  // namespace kivtest
