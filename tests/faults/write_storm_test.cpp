// SPDX-License-Identifier: MIT
// Writes that meet a storm of EAGAIN and short writes on both ports (the
// test program's own `write` stands in front of the C library's for the
// library's port descriptors): every write still succeeds and reaches the
// peer whole, never cut by another writer's bytes. A line that takes nothing
// at all fails the write within the stall bound, and the next write succeeds
// once the line takes bytes again.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fault_fixture.h"

namespace {

enum class Storm { kNone, kAgainAndShort, kAgainOnly };

std::atomic<Storm> g_storm{Storm::kNone};
std::atomic<int> g_targets[2] = {{-1}, {-1}};
std::atomic<unsigned> g_calls{0};
std::atomic<unsigned> g_agains{0};
std::atomic<unsigned> g_shorts{0};

bool targeted(int fd) {
  return fd >= 0 && (fd == g_targets[0].load() || fd == g_targets[1].load());
}

// The library's descriptor of a port: the one of the pseudo-terminal's
// device side opened last (the sandbox's own stays open before it).
int library_fd(const char* dev) {
  const std::string slave = kivsim::Sandbox::port_slave(dev);
  int found = -1;
  for (int fd = 0; fd < 1024; ++fd) {
    char target[256];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == slave)
      found = fd;
  }
  return found;
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t count) {
  using WriteFn = ssize_t (*)(int, const void*, size_t);
  static const WriteFn real = reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "write"));
  const Storm storm = g_storm.load();
  if (storm == Storm::kNone || !targeted(fd) || count == 0)
    return real(fd, data, count);
  const unsigned n = g_calls.fetch_add(1);
  if (storm == Storm::kAgainOnly || n % 3 == 0) {
    ++g_agains;
    errno = EAGAIN;
    return -1;
  }
  if (n % 3 == 1 && count > 1) {
    ++g_shorts;
    return real(fd, data, 1 + n % (count - 1 < 13 ? count - 1 : 13));
  }
  return real(fd, data, count);
}

namespace {

using kivtest::Bytes;
using std::chrono::milliseconds;

constexpr int kWritersPerPort = 2;
constexpr int kMessages = 120;

Bytes message(int writer, int k) {
  const size_t len = 1 + static_cast<size_t>(k * 977 + writer * 131) % 6000;
  Bytes m = {0xA5, static_cast<unsigned char>(writer), static_cast<unsigned char>(k),
             static_cast<unsigned char>(len & 0xFF), static_cast<unsigned char>(len >> 8)};
  m.resize(5 + len, static_cast<unsigned char>(writer * 31 + k));
  return m;
}

// Takes a port's stream apart into its writers' messages: each must be
// whole, in its writer's order, and the stream nothing else.
std::string check_stream(const Bytes& s, const std::vector<int>& writers) {
  std::vector<int> next(8, 0);
  size_t at = 0;
  while (at < s.size()) {
    if (s.size() - at < 5 || s[at] != 0xA5)
      return "no message head at " + std::to_string(at);
    const int writer = s[at + 1];
    const int k = s[at + 2];
    if (writer >= 8 || k != next[static_cast<size_t>(writer)] % 256)
      return "writer " + std::to_string(writer) + " message " + std::to_string(k) + " at " +
             std::to_string(at) + " out of order";
    const Bytes want = message(writer, next[static_cast<size_t>(writer)]++);
    if (s.size() - at < want.size() || !std::equal(want.begin(), want.end(), s.begin() + at))
      return "message " + std::to_string(k) + " of writer " + std::to_string(writer) + " cut at " +
             std::to_string(at);
    at += want.size();
  }
  for (int w : writers)
    if (next[static_cast<size_t>(w)] != kMessages)
      return "writer " + std::to_string(w) + " delivered " +
             std::to_string(next[static_cast<size_t>(w)]);
  return "";
}

class WriteStormTest : public kivtest::FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    kivtest::drain(peer2_);  // the start-up brightness frame
    g_targets[0] = library_fd("/dev/com1");
    g_targets[1] = library_fd("/dev/com2");
    ASSERT_GE(g_targets[0].load(), 0);
    ASSERT_GE(g_targets[1].load(), 0);
  }
  void TearDown() override {
    g_storm = Storm::kNone;
    FaultTest::TearDown();
  }
  int write_port(int port, Bytes& b) {
    char* data = reinterpret_cast<char*>(b.data());
    const int len = static_cast<int>(b.size());
    return port == 0 ? io_->writeAMA1(data, len) : io_->writeAMA2(data, len);
  }
};

TEST_F(WriteStormTest, EveryWriteArrivesWholeThroughAgainAndShortWrites) {
  g_storm = Storm::kAgainAndShort;
  std::atomic<int> failed{0};
  std::atomic<int> writing{2 * kWritersPerPort};
  std::vector<std::thread> writers;
  for (int w = 0; w < 2 * kWritersPerPort; ++w)
    writers.emplace_back([&, w] {
      for (int k = 0; k < kMessages; ++k) {
        Bytes m = message(w, k);
        if (write_port(w % 2, m) != 0)
          ++failed;
      }
      --writing;
    });
  Bytes streams[2];
  std::thread reader([&] {
    for (;;) {
      Bytes got1 = kivtest::drain(peer1_, milliseconds(300));
      Bytes got2 = kivtest::drain(peer2_, milliseconds(1));
      streams[0].insert(streams[0].end(), got1.begin(), got1.end());
      streams[1].insert(streams[1].end(), got2.begin(), got2.end());
      if (got1.empty() && got2.empty() && writing.load() == 0)
        break;
    }
  });
  for (auto& t : writers)
    t.join();
  reader.join();
  g_storm = Storm::kNone;

  EXPECT_EQ(failed.load(), 0);
  EXPECT_GT(g_agains.load(), 100u);
  EXPECT_GT(g_shorts.load(), 100u);
  EXPECT_EQ(check_stream(streams[0], {0, 2}), "");
  EXPECT_EQ(check_stream(streams[1], {1, 3}), "");
}

TEST_F(WriteStormTest, ALineTakingNothingFailsTheWriteWithinTheStallBound) {
  g_storm = Storm::kAgainOnly;
  Bytes m = message(0, 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(write_port(0, m), -1);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(800));
  EXPECT_LT(took, milliseconds(2000));

  g_storm = Storm::kNone;
  kivtest::drain(peer1_);
  Bytes next = message(0, 1);
  EXPECT_EQ(write_port(0, next), 0);
  EXPECT_EQ(kivtest::read_bytes(peer1_, next.size(), milliseconds(2000)), next);
}

}  // namespace
