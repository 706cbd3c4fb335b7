// SPDX-License-Identifier: MIT
// Helpers shared by the test suites: the sandbox guard, standard output
// capture, the peer side of a pseudo-terminal, and resource counts.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "sandbox.h"

// Enters the sandbox of fixed paths or skips the test with the reason.
#define KIV_REQUIRE_SANDBOX()                           \
  do {                                                  \
    std::string kiv_reason_ = kivsim::Sandbox::enter(); \
    if (!kiv_reason_.empty())                           \
      GTEST_SKIP() << kiv_reason_;                      \
  } while (0)

namespace kivtest {

using Bytes = std::vector<unsigned char>;

// Captures what the process writes to standard output (descriptor 1).
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  // Everything captured so far.
  std::string text();

 private:
  int saved_ = -1;
  int file_ = -1;
};

// Same for standard error (descriptor 2).
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  std::string text();

 private:
  int saved_ = -1;
  int file_ = -1;
};

// Reads from `fd` until `count` bytes have arrived or `timeout` passed.
Bytes read_bytes(int fd, size_t count, std::chrono::milliseconds timeout);
// Reads whatever arrives on `fd` until it stays quiet for `quiet`.
Bytes drain(int fd, std::chrono::milliseconds quiet = std::chrono::milliseconds(100));
// Writes all of `data` to `fd`.
bool write_all(int fd, const void* data, size_t len);
Bytes bytes(std::initializer_list<int> values);
std::string hex(const Bytes& b);

int count_open_fds();
int count_threads();
// Descriptors open in this process, by number, with what they point at.
std::vector<std::string> open_fd_targets();

// Polls `pred` every millisecond until it holds or `timeout` passes.
template <typename Pred>
bool wait_until(Pred pred, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end)
      return false;
    struct timespec ts = {0, 1000000};
    nanosleep(&ts, nullptr);
  }
  return true;
}

}  // namespace kivtest
