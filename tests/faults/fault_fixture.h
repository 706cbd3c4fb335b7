// SPDX-License-Identifier: MIT
// Shared set-up of the injected fault tests: the facade set up on the
// simulated board with both ports' peers held by the test, and the process's
// descriptors and threads counted before, to be found again after close_io().
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "kiv_io.h"
#include "test_support.h"

namespace kivtest {

// Long runs (storms of seconds, a thousand set-up cycles) are cut to a tenth
// under the sanitizers and the emulator, where each step takes many times
// longer; KIV_FAULTS_SCALE (a divisor, 1 for the full run) overrides that.
inline int scaled(int full) {
#ifdef KIV_FAULTS_SHORT
  int divisor = 10;
#else
  int divisor = 1;
#endif
  if (const char* env = std::getenv("KIV_FAULTS_SCALE"))
    divisor = std::max(1, std::atoi(env));
  return std::max(1, full / divisor);
}

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    peer1_ = kivsim::Sandbox::add_port("/dev/com1");
    peer2_ = kivsim::Sandbox::add_port("/dev/com2");
    ASSERT_GE(peer1_, 0);
    ASSERT_GE(peer2_, 0);
    out_ = std::make_unique<StdoutCapture>();
    // The input interrupts' threads stay for the life of the process once a
    // first set-up registered them: they belong to the starting count.
    kiv::KivIo::getInstance()->setup();
    kiv::KivIo::close_io();
    fds_before_ = count_open_fds();
    threads_before_ = settled_thread_count();
    io_ = kiv::KivIo::getInstance();
    io_->setup();
  }

  void TearDown() override {
    kiv::KivIo::close_io();
    EXPECT_TRUE(wait_until([&] { return count_threads() == threads_before_; }))
        << count_threads() << " threads, " << threads_before_ << " before";
    EXPECT_EQ(count_open_fds(), fds_before_) << describe_fds();
    close(peer1_);
    close(peer2_);
  }

  // The process's thread count once it holds still for 100 ms (at most 3 s):
  // a thread the stand-ins started during the first set-up may still be
  // ending, which takes a while under the emulator.
  static int settled_thread_count() {
    int last = count_threads();
    for (int still = 0, tries = 0; still < 10 && tries < 300; ++tries) {
      usleep(10000);
      const int now = count_threads();
      still = now == last ? still + 1 : 0;
      last = now;
    }
    return last;
  }

  // Replaces a port's peer with a fresh one (a new pseudo-terminal behind the
  // same path); the caller has closed or keeps the old one.
  int new_peer(const char* dev) {
    const int peer = kivsim::Sandbox::add_port(dev);
    EXPECT_GE(peer, 0);
    return peer;
  }

  static std::string describe_fds() {
    std::string all;
    for (const std::string& fd : open_fd_targets())
      all += fd + "\n";
    return all;
  }

  kiv::KivIo* io_ = nullptr;
  int peer1_ = -1;
  int peer2_ = -1;
  int fds_before_ = 0;
  int threads_before_ = 0;
  std::unique_ptr<StdoutCapture> out_;
};

}  // namespace kivtest
