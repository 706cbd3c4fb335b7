// SPDX-License-Identifier: MIT
// Reader threads: chunks handed to callbacks, registered buffers, hang-ups,
// and a port closed from its own callback.
#include <sys/resource.h>
#include <time.h>

#include <cstring>

#include "serial_fixture.h"

namespace kivtest {
namespace {

ChunkLog* g_log;
void log_chunk(char* chunk) {
  g_log->add(chunk);
}

class SerialReadTest : public SerialTest {
 protected:
  void SetUp() override {
    SerialTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    g_log = &log_;
    ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  }
  ChunkLog log_;
};

TEST_F(SerialReadTest, EachReadReachesTheCallbackAsAString) {
  ASSERT_EQ(svSetSerialReadCallback(log_chunk, 0), 0);
  write_all(peer1_, "hello world, a longer chunk first", 33);
  ASSERT_TRUE(wait_until([&] { return log_.calls.load() >= 1; }));
  ASSERT_TRUE(wait_until([&] { return log_.joined().size() == 33; }));
  // A 3-byte notification after a longer chunk arrives as a string of length 3.
  write_all(peer1_, "\xFF\xAA\xEE", 3);
  ASSERT_TRUE(wait_until([&] { return log_.joined().size() == 36; }));
  std::lock_guard<std::mutex> lock(log_.mutex);
  EXPECT_EQ(log_.chunks.back(), "\xFF\xAA\xEE");
}

TEST_F(SerialReadTest, BytesWithoutACallbackAreReadAndDropped) {
  // No callback, but a buffer: the reader still reads, into the buffer. A
  // buffer is looked at only once another has replaced it, when no read fills
  // it any more; the two take turns until one holds the bytes.
  static char buffers[2][16];
  ASSERT_EQ(SetReadSerialPortCallback(nullptr, buffers[0], 16, 0), 0);
  write_all(peer1_, "early", 5);
  bool read_early = false;
  for (int turn = 1; turn < 3000 && !read_early; ++turn) {
    ASSERT_EQ(SetReadSerialPortCallback(nullptr, buffers[turn % 2], 16, 0), 0);
    read_early = std::memcmp(buffers[(turn + 1) % 2], "early", 5) == 0;
    usleep(1000);
  }
  ASSERT_TRUE(read_early);
  ASSERT_EQ(svSetSerialReadCallback(log_chunk, 0), 0);
  write_all(peer1_, "late", 4);
  ASSERT_TRUE(wait_until([&] { return log_.joined() == "late"; })) << log_.joined();
  usleep(50000);
  EXPECT_EQ(log_.joined(), "late");
}

TEST_F(SerialReadTest, ReadsIntoTheRegisteredBufferWithinItsSize) {
  // Guard bytes around a 4-byte buffer show any read beyond its size.
  static char area[16];
  std::memset(area, '#', sizeof area);
  ASSERT_EQ(SetReadSerialPortCallback(log_chunk, area + 4, 4, 0), 0);
  write_all(peer1_, "0123456789", 10);
  ASSERT_TRUE(wait_until([&] { return log_.joined() == "0123456789"; })) << log_.joined();
  {
    std::lock_guard<std::mutex> lock(log_.mutex);
    for (auto& c : log_.chunks)
      EXPECT_LE(c.size(), 4u);
  }
  EXPECT_EQ(std::string(area, 4), "####");
  EXPECT_EQ(std::string(area + 8, 8), "########");
  // The buffer keeps the raw bytes of the latest read, without a terminator.
  EXPECT_EQ(std::string(area + 4, 2), "89");
}

TEST_F(SerialReadTest, RegistrationsThatCannotBeHonouredAreRefused) {
  static char small[8];
  StdoutCapture out;
  EXPECT_EQ(SetReadSerialPortCallback(log_chunk, small, 0, 0), -1);
  EXPECT_EQ(SetReadSerialPortCallback(log_chunk, small, -5, 0), -1);
  EXPECT_EQ(out.text(), "set serial callback error\r\nset serial callback error\r\n");
  EXPECT_EQ(SetReadSerialPortCallback(log_chunk, small, 1, 2), -1);
  EXPECT_EQ(SetReadSerialPortCallback(log_chunk, small, 1, -1), -1);
  EXPECT_EQ(svSetSerialReadCallback(log_chunk, 2), -1);
  EXPECT_EQ(out.text().size(), 2 * std::strlen("set serial callback error\r\n"));
  // Nothing was registered by the refusals.
  write_all(peer1_, "zz", 2);
  usleep(200000);
  EXPECT_EQ(log_.calls.load(), 0);

  // A size beyond the hand-over buffer is honoured by reading at most 1024.
  static char big[4096];
  ASSERT_EQ(SetReadSerialPortCallback(log_chunk, big, 4096, 0), 0);
  std::string data(3000, 'q');
  write_all(peer1_, data.data(), data.size());
  ASSERT_TRUE(wait_until([&] { return log_.joined().size() == 3000; }));
  std::lock_guard<std::mutex> lock(log_.mutex);
  for (auto& c : log_.chunks)
    EXPECT_LE(c.size(), 1024u);
}

TEST_F(SerialReadTest, RegistrationOnAPortThatIsNotOpenIsRefused) {
  StdoutCapture out;
  EXPECT_EQ(svSetSerialReadCallback(log_chunk, 1), -1);  // never opened
  SerialPortFree(0);
  EXPECT_EQ(svSetSerialReadCallback(log_chunk, 0), -1);  // closed
  EXPECT_EQ(out.text(), "set serial callback error\r\nset serial callback error\r\n");
}

double thread_cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST_F(SerialReadTest, AHungUpPeerCostsNoCpuAndTheSlotStaysServed) {
  ASSERT_EQ(svSetSerialReadCallback(log_chunk, 0), 0);
  // The peer goes away: the device side now reports a hang-up on every poll.
  kivsim::Sandbox::remove_port(com1);
  close(peer1_);
  peer1_ = -1;
  const double before = thread_cpu_seconds();
  usleep(1200000);
  const double used = thread_cpu_seconds() - before;
  EXPECT_LT(used, 0.3) << "the reader spins on a hung-up port";
  // A close still ends the reader at once.
  const auto start = std::chrono::steady_clock::now();
  SerialPortFree(0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_TRUE(wait_until([&] { return count_threads() == threads_before_; }));
}

// A callback that closes its own port: the reader ends once it returns.
std::atomic<int> g_closing_calls{0};
void close_own_port(char*) {
  SerialPortFree(0);
  g_closing_calls.fetch_add(1);
}

TEST_F(SerialReadTest, AReaderMayCloseItsOwnPort) {
  ASSERT_EQ(svSetSerialReadCallback(close_own_port, 0), 0);
  write_all(peer1_, "bye", 3);
  ASSERT_TRUE(wait_until([] { return g_closing_calls.load() == 1; }));
  // The port is closed and its descriptor released; the reader has ended.
  EXPECT_TRUE(wait_until([&] { return count_threads() == threads_before_; }));
  EXPECT_EQ(count_open_fds(), fds_before_ + 1);  // the reader's wake descriptor, until joined
  {
    StdoutCapture out;
    char x[] = "x";
    EXPECT_EQ(WriteSerialPort(x, 1, 0), -1);
    EXPECT_EQ(out.text(), "write serial error\r\n");
  }
  // The next open joins the ended reader and starts a new one.
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  ASSERT_EQ(svSetSerialReadCallback(log_chunk, 0), 0);
  write_all(peer1_, "again", 5);
  EXPECT_TRUE(wait_until([&] { return log_.joined() == "again"; }));
  SerialPortFree(0);
  EXPECT_EQ(count_open_fds(), fds_before_);
  EXPECT_TRUE(wait_until([&] { return count_threads() == threads_before_; }));
}

// A callback that closes and reopens its own port keeps its reader.
std::atomic<int> g_reopen_calls{0};
void reopen_own_port(char* chunk) {
  if (std::strcmp(chunk, "reopen") == 0) {
    g_reopen_calls.fetch_add(1);
    SerialPortFree(0);
    SerialPortInit(com1, 115200);
    svSetSerialReadCallback(log_chunk, 0);
  }
}

TEST_F(SerialReadTest, AReaderMayReopenItsOwnPort) {
  ASSERT_EQ(svSetSerialReadCallback(reopen_own_port, 0), 0);
  const int threads = count_threads();
  write_all(peer1_, "reopen", 6);
  ASSERT_TRUE(wait_until([] { return g_reopen_calls.load() == 1; }));
  usleep(50000);
  write_all(peer1_, "after", 5);
  EXPECT_TRUE(wait_until([&] { return log_.joined() == "after"; })) << log_.joined();
  EXPECT_TRUE(wait_until([&] { return count_threads() == threads; }));
  SerialPortFree(0);
  EXPECT_EQ(count_open_fds(), fds_before_);
}

// Each port's callback reopens the other port: neither reopen may wait for the
// other port's callback.
// Both callbacks meet before reopening, so each reopen finds the other port's
// reader inside its callback.
std::atomic<int> g_cross_reopens{0};
std::atomic<int> g_arrived{0};
void meet_other_callback() {
  const int round_target = (g_arrived.fetch_add(1) / 2 + 1) * 2;
  wait_until([&] { return g_arrived.load() >= round_target; }, std::chrono::milliseconds(2000));
}
void reopen_com2(char*) {
  meet_other_callback();
  SerialPortInit(com2, 115200);
  g_cross_reopens.fetch_add(1);
}
void reopen_com1(char*) {
  meet_other_callback();
  SerialPortInit(com1, 115200);
  g_cross_reopens.fetch_add(1);
}

TEST_F(SerialReadTest, CallbacksMayReopenEachOthersPortsAtOnce) {
  ASSERT_EQ(SerialPortInit(com2, 115200), 0);
  ASSERT_EQ(svSetSerialReadCallback(reopen_com2, 0), 0);
  ASSERT_EQ(svSetSerialReadCallback(reopen_com1, 1), 0);
  StdoutCapture out;
  const int threads = count_threads();
  for (int round = 1; round <= 3; ++round) {
    write_all(peer1_, "a", 1);
    write_all(peer2_, "b", 1);
    ASSERT_TRUE(wait_until([&] { return g_cross_reopens.load() == 2 * round; }))
        << "round " << round << " reopens " << g_cross_reopens.load();
  }
  // The readers carried on: the same threads serve both ports.
  EXPECT_EQ(count_threads(), threads);
  ASSERT_EQ(svSetSerialReadCallback(log_chunk, 0), 0);
  write_all(peer1_, "still here", 10);
  EXPECT_TRUE(wait_until([&] { return log_.joined() == "still here"; }));
}

// A reopen from another thread does not wait for a callback in progress.
std::atomic<bool> g_hold_callback{false};
std::atomic<bool> g_in_callback{false};
void held_callback(char*) {
  g_in_callback = true;
  while (g_hold_callback.load())
    usleep(1000);
  g_in_callback = false;
}

TEST_F(SerialReadTest, AReopenDoesNotWaitForARunningCallback) {
  ASSERT_EQ(svSetSerialReadCallback(held_callback, 0), 0);
  g_hold_callback = true;
  write_all(peer1_, "hold", 4);
  ASSERT_TRUE(wait_until([] { return g_in_callback.load(); }));
  const int fds = count_open_fds();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SerialPortInit(com1, 57600), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(g_in_callback.load());
  EXPECT_EQ(count_open_fds(), fds);  // the earlier descriptor was closed
  g_hold_callback = false;
  ASSERT_EQ(svSetSerialReadCallback(log_chunk, 0), 0);
  write_all(peer1_, "new", 3);
  EXPECT_TRUE(wait_until([&] { return log_.joined() == "new"; })) << log_.joined();
}

}  // namespace
}  // namespace kivtest
