// SPDX-License-Identifier: MIT
// Writing: pieces of at most 4096 bytes, a line that is slow to take them,
// a line that takes nothing, refusals, writers of one port taking turns.
#include <dlfcn.h>

#include <cstring>
#include <thread>

#include "serial_fixture.h"

namespace kivtest {
namespace {

// Sizes of the write requests made on one descriptor, seen by a write()
// defined in the test executable ahead of the C library's.
std::atomic<int> g_watched_fd{-1};
std::mutex g_sizes_mutex;
std::vector<size_t> g_sizes;
// Writes on this descriptor take at most two bytes each, as a congested line
// would, and give other threads time to come in between.
std::atomic<int> g_short_writes_fd{-1};

}  // namespace
}  // namespace kivtest

extern "C" ssize_t write(int fd, const void* buf, size_t count) {
  using Write = ssize_t (*)(int, const void*, size_t);
  static Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
  if (fd >= 0 && fd == kivtest::g_watched_fd.load()) {
    std::lock_guard<std::mutex> lock(kivtest::g_sizes_mutex);
    kivtest::g_sizes.push_back(count);
  }
  if (fd >= 0 && fd == kivtest::g_short_writes_fd.load() && count > 2) {
    const ssize_t n = real(fd, buf, 2);
    usleep(100);
    return n;
  }
  return real(fd, buf, count);
}

namespace kivtest {
namespace {

// The descriptor the library opened for slot `index`, from its printed line.
int opened_fd(const std::string& out) {
  int index = -1, fd = -1;
  std::sscanf(out.c_str(), "serial index  %d  fd  %d", &index, &fd);
  return fd;
}

class SerialWriteTest : public SerialTest {
 protected:
  void SetUp() override {
    SerialTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    StdoutCapture out;
    ASSERT_EQ(SerialPortInit(com1, 115200), 0);
    fd_ = opened_fd(out.text());
    ASSERT_GT(fd_, 2);
  }
  std::vector<size_t> sizes() {
    std::lock_guard<std::mutex> lock(g_sizes_mutex);
    return g_sizes;
  }
  int fd_ = -1;
};

std::vector<char> pattern(size_t n) {
  std::vector<char> data(n);
  for (size_t i = 0; i < n; ++i)
    data[i] = static_cast<char>('a' + i % 23);
  return data;
}

TEST_F(SerialWriteTest, WritesInPiecesOfAtMost4096Bytes) {
  for (int len : {0, 5, 4096, 5000, 8192}) {
    SCOPED_TRACE(len);
    {
      std::lock_guard<std::mutex> lock(g_sizes_mutex);
      g_sizes.clear();
    }
    auto data = pattern(static_cast<size_t>(len));
    g_watched_fd = fd_;
    // The peer takes everything as it comes.
    Bytes got;
    std::thread peer([&] { got = read_bytes(peer1_, data.size(), std::chrono::seconds(5)); });
    EXPECT_EQ(WriteSerialPort(data.data(), len, 0), 0);
    peer.join();
    g_watched_fd = -1;
    EXPECT_EQ(got, Bytes(data.begin(), data.end()));
    std::vector<size_t> expected;
    for (int left = len; left > 0; left -= 4096)
      expected.push_back(left >= 4096 ? 4096 : left);
    EXPECT_EQ(sizes(), expected);
  }
}

TEST_F(SerialWriteTest, ABlockWiderThanTheLineBufferArrivesWhole) {
  // Far more than a pseudo-terminal buffers: the write must wait for the
  // peer, which reads slowly, and still deliver every byte in order.
  auto data = pattern(200 * 1024);
  Bytes got;
  std::thread peer([&] {
    for (;;) {
      Bytes part = read_bytes(peer1_, 2048, std::chrono::seconds(3));
      if (part.empty())
        break;
      got.insert(got.end(), part.begin(), part.end());
      if (got.size() >= data.size())
        break;
      usleep(2000);
    }
  });
  EXPECT_EQ(WriteSerialPort(data.data(), static_cast<int>(data.size()), 0), 0);
  peer.join();
  ASSERT_EQ(got.size(), data.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
}

TEST_F(SerialWriteTest, ALineThatTakesNothingFailsAfterTheBoundOfOnePiece) {
  // Nobody reads the peer: once the line's buffer is full the write fails when
  // the line has taken nothing for 2 x 4096 x 10 bits / 115200 + 100 ms
  // (0.81 s), however much of the block is left.
  auto data = pattern(200000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WriteSerialPort(data.data(), static_cast<int>(data.size()), 0), -1);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(800));
  EXPECT_LT(took, std::chrono::seconds(4));
}

TEST_F(SerialWriteTest, RefusesWritesItCannotMake) {
  char data[] = "abc";
  StdoutCapture out;
  EXPECT_EQ(WriteSerialPort(data, 3, 2), -1);
  EXPECT_EQ(WriteSerialPort(data, 3, -1), -1);
  EXPECT_EQ(svWriteSerial(data, 3, 7), -1);
  EXPECT_EQ(out.text(), "");  // a wrong index is refused silently
  EXPECT_EQ(WriteSerialPort(data, -3, 0), -1);
  EXPECT_EQ(WriteSerialPort(nullptr, 3, 0), -1);
  EXPECT_EQ(WriteSerialPort(nullptr, 0, 0), 0);
  EXPECT_EQ(WriteSerialPort(data, 3, 1), -1);  // never opened
  SerialPortFree(0);
  EXPECT_EQ(svWriteSerial(data, 3, 0), -1);  // closed
  EXPECT_EQ(out.text(), "write serial error\r\nwrite serial error\r\n");
  EXPECT_TRUE(drain(peer1_).empty());
}

// Frames from several threads while the line takes two bytes at a time: the
// peer gets every frame whole and each thread's frames in their order.
TEST_F(SerialWriteTest, FramesFromSeveralThreadsArriveWhole) {
  constexpr int kThreads = 4, kFrames = 60;
  g_short_writes_fd = fd_;
  for (int round = 0; round < 3; ++round) {
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
      writers.emplace_back([t] {
        for (int i = 0; i < kFrames; ++i) {
          char frame[] = {static_cast<char>('a' + t), '-', static_cast<char>('0' + i % 10), '\r',
                          '\n'};
          ASSERT_EQ(WriteSerialPort(frame, 5, 0), 0);
        }
      });
    Bytes got = read_bytes(peer1_, 5 * kThreads * kFrames, std::chrono::seconds(20));
    for (auto& w : writers)
      w.join();
    ASSERT_EQ(got.size(), 5u * kThreads * kFrames);
    int next[kThreads] = {};
    for (size_t at = 0; at < got.size(); at += 5) {
      const int t = got[at] - 'a';
      ASSERT_TRUE(t >= 0 && t < kThreads && got[at + 1] == '-' && got[at + 3] == '\r' &&
                  got[at + 4] == '\n' && got[at + 2] == '0' + next[t]++ % 10)
          << "round " << round << ", a cut frame at byte " << at << ": "
          << std::string(got.begin() + static_cast<long>(at),
                         got.begin() + static_cast<long>(std::min(got.size(), at + 12)));
    }
  }
}

// A writer waiting for its turn behind a stalled one fails with it, after
// about the stall bound; a close ends both at once.
TEST_F(SerialWriteTest, AWriterWaitingForItsTurnFailsWithTheStalledWriterAhead) {
  for (bool close_port : {false, true}) {
    SCOPED_TRACE(close_port ? "closed" : "stalled");
    auto block = pattern(200000);
    std::atomic<int> results[2] = {{1}, {1}};
    const auto start = std::chrono::steady_clock::now();
    std::thread ahead(
        [&] { results[0] = WriteSerialPort(block.data(), static_cast<int>(block.size()), 0); });
    usleep(100000);
    std::thread behind([&] {
      char frame[] = "1-1\r\n";
      results[1] = WriteSerialPort(frame, 5, 0);
    });
    usleep(100000);
    if (close_port) {
      SerialPortFree(0);
    }
    ahead.join();
    behind.join();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(results[0].load(), -1);
    EXPECT_EQ(results[1].load(), -1);
    EXPECT_LT(took, close_port ? std::chrono::milliseconds(600) : std::chrono::seconds(3));
    if (!close_port) {
      EXPECT_GE(took, std::chrono::milliseconds(800));
    }
    drain(peer1_);
  }
}

}  // namespace
}  // namespace kivtest
