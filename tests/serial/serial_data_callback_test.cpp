// SPDX-License-Identifier: MIT
// Data read callbacks: every byte value arrives, zeros included; the string
// and data forms replace each other; a close drops the data form; a data
// callback may unregister itself and close or reopen its own port.
#include <unistd.h>

#include <cstring>
#include <functional>
#include <random>

#include "serial_fixture.h"

namespace kivtest {
namespace {

// What a data callback received, with the size of each call.
struct DataLog {
  std::mutex mutex;
  Bytes bytes;
  std::vector<int> lens;
  std::atomic<long> total{0};
  std::atomic<int> calls{0};
};

void log_data(const unsigned char* data, int len, void* user) {
  auto* log = static_cast<DataLog*>(user);
  {
    std::lock_guard<std::mutex> lock(log->mutex);
    log->bytes.insert(log->bytes.end(), data, data + len);
    log->lens.push_back(len);
  }
  log->total.fetch_add(len);
  log->calls.fetch_add(1);
}

ChunkLog* g_strings;
void log_string(char* chunk) {
  g_strings->add(chunk);
}

class SerialDataTest : public SerialTest {
 protected:
  void SetUp() override {
    SerialTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    g_strings = &strings_;
    ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  }
  // Sends `piece` and waits until `log` has it all, so that it arrives in
  // reads of its own.
  bool send_piece(DataLog& log, const unsigned char* piece, size_t len) {
    const long until = log.total.load() + static_cast<long>(len);
    return write_all(peer1_, piece, len) && wait_until([&] { return log.total.load() >= until; });
  }
  ChunkLog strings_;
};

// Every byte value, several times over in a shuffled order, sent in pieces of
// random sizes (beyond one read's 1024 bytes too); the seeds make each run's
// chunking the same.
TEST_F(SerialDataTest, EveryByteValueArrivesIntactInRandomChunkings) {
  for (unsigned seed : {1u, 2024u, 77777u}) {
    std::mt19937 random(seed);
    Bytes data;
    for (int round = 0; round < 16; ++round) {
      Bytes values(256);
      for (int v = 0; v < 256; ++v)
        values[static_cast<size_t>(v)] = static_cast<unsigned char>(v);
      std::shuffle(values.begin(), values.end(), random);
      data.insert(data.end(), values.begin(), values.end());
    }
    DataLog log;
    ASSERT_EQ(SetReadSerialPortDataCallback(log_data, &log, 0), 0);
    std::uniform_int_distribution<size_t> piece_size(1, 1500);
    for (size_t at = 0; at < data.size();) {
      const size_t len = std::min(piece_size(random), data.size() - at);
      ASSERT_TRUE(send_piece(log, data.data() + at, len)) << "seed " << seed << " at " << at;
      at += len;
    }
    ASSERT_EQ(SetReadSerialPortDataCallback(nullptr, nullptr, 0), 0);
    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.bytes, data) << "seed " << seed;
    for (int len : log.lens) {
      EXPECT_GE(len, 1) << "seed " << seed;
      EXPECT_LE(len, 1024) << "seed " << seed;
    }
  }
}

// Which callback gets the next chunk after two registrations in a row.
enum class Receiver { kNone, kString, kData };

DataLog g_data;
char g_area[24];  // a string callback's buffer, with guard bytes on both sides
int data_form() {
  return SetReadSerialPortDataCallback(log_data, &g_data, 0);
}
int string_form() {
  return svSetSerialReadCallback(log_string, 0);
}
int string_into_area() {
  return SetReadSerialPortCallback(log_string, g_area + 8, 8, 0);
}
int no_data() {
  return SetReadSerialPortDataCallback(nullptr, g_area, 0);
}
int no_string() {
  return SetReadSerialPortCallback(nullptr, nullptr, 0, 0);
}

TEST_F(SerialDataTest, EachFormReplacesTheOther) {
  const struct {
    int (*first)();
    int (*second)();
    Receiver expected;
  } cases[] = {
      {string_form, data_form, Receiver::kData},      {data_form, string_form, Receiver::kString},
      {string_into_area, data_form, Receiver::kData}, {data_form, no_data, Receiver::kNone},
      {string_form, no_data, Receiver::kNone},        {data_form, no_string, Receiver::kNone},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const auto& c = cases[i];
    std::memset(g_area, '#', sizeof g_area);
    ASSERT_EQ(c.first(), 0) << i;
    ASSERT_EQ(c.second(), 0) << i;
    const int strings_before = strings_.calls.load();
    const int data_before = g_data.calls.load();
    write_all(peer1_, "a\0b", 3);
    wait_until([&] { return strings_.calls > strings_before || g_data.calls > data_before; },
               std::chrono::milliseconds(c.expected == Receiver::kNone ? 150 : 3000));
    usleep(20000);
    EXPECT_EQ(strings_.calls.load() - strings_before, c.expected == Receiver::kString) << i;
    EXPECT_EQ(g_data.calls.load() - data_before, c.expected == Receiver::kData) << i;
    // The replaced buffer is no longer read into.
    EXPECT_EQ(std::string(g_area, sizeof g_area), std::string(sizeof g_area, '#')) << i;
  }
  std::lock_guard<std::mutex> lock(g_data.mutex);
  EXPECT_EQ(g_data.bytes, bytes({'a', 0, 'b', 'a', 0, 'b'}));
}

TEST_F(SerialDataTest, RefusedLikeTheStringForm) {
  DataLog log;
  StdoutCapture out;
  EXPECT_EQ(SetReadSerialPortDataCallback(log_data, &log, 2), -1);
  EXPECT_EQ(SetReadSerialPortDataCallback(log_data, &log, -1), -1);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(SetReadSerialPortDataCallback(log_data, &log, 1), -1);  // never opened
  SerialPortFree(0);
  EXPECT_EQ(SetReadSerialPortDataCallback(log_data, &log, 0), -1);  // closed
  EXPECT_EQ(out.text(), "set serial callback error\r\nset serial callback error\r\n");
}

// A close drops a data callback (its object may be gone), while a string
// callback stays for the next open as it always has.
TEST_F(SerialDataTest, ACloseDropsADataCallbackAndKeepsAStringOne) {
  for (auto form : {data_form, string_form}) {
    const int before = g_data.calls.load() + strings_.calls.load();
    ASSERT_EQ(form(), 0);
    SerialPortFree(0);
    ASSERT_EQ(SerialPortInit(com1, 115200), 0);
    write_all(peer1_, "after", 5);
    const bool kept = form == string_form;
    wait_until([&] { return g_data.calls.load() + strings_.calls.load() > before; },
               std::chrono::milliseconds(kept ? 3000 : 150));
    EXPECT_EQ(g_data.calls.load() + strings_.calls.load() - before, kept ? 1 : 0);
  }
}

// What a data callback does from its own call, on the first chunk only.
std::function<void()> g_own_action;
std::atomic<int> g_own_calls{0};
std::atomic<bool> g_own_action_done{false};
void act_on_first_chunk(const unsigned char*, int, void*) {
  if (g_own_calls.fetch_add(1) == 0) {
    g_own_action();
    g_own_action_done = true;
  }
}

TEST_F(SerialDataTest, ACallbackMayUnregisterItselfAndCloseOrReopenItsPort) {
  DataLog after;
  const struct {
    const char* name;
    std::function<void()> action;
    bool port_open_after;
    bool later_bytes_reach_log;
  } cases[] = {
      {"unregisters itself",
       [] { EXPECT_EQ(SetReadSerialPortDataCallback(nullptr, nullptr, 0), 0); }, true, false},
      {"replaces itself", [&] { EXPECT_EQ(SetReadSerialPortDataCallback(log_data, &after, 0), 0); },
       true, true},
      {"closes its port", [] { SerialPortFree(0); }, false, false},
      {"closes, reopens and registers again",
       [&] {
         SerialPortFree(0);
         EXPECT_EQ(SerialPortInit(com1, 115200), 0);
         EXPECT_EQ(SetReadSerialPortDataCallback(log_data, &after, 0), 0);
       },
       true, true},
  };
  for (const auto& c : cases) {
    if (SerialPortInit(com1, 115200) != 0)
      FAIL() << c.name;
    g_own_action = c.action;
    g_own_calls = 0;
    g_own_action_done = false;
    const long before = after.total.load();
    ASSERT_EQ(SetReadSerialPortDataCallback(act_on_first_chunk, nullptr, 0), 0);
    write_all(peer1_, "x", 1);
    ASSERT_TRUE(wait_until([] { return g_own_action_done.load(); })) << c.name << " hangs";
    char probe[] = "p";
    {
      StdoutCapture out;
      EXPECT_EQ(WriteSerialPort(probe, 1, 0), c.port_open_after ? 0 : -1) << c.name;
    }
    drain(peer1_);
    write_all(peer1_, "later", 5);
    if (c.later_bytes_reach_log) {
      EXPECT_TRUE(wait_until([&] { return after.total.load() == before + 5; })) << c.name;
    } else {
      usleep(150000);
      EXPECT_EQ(after.total.load(), before) << c.name;
    }
    EXPECT_EQ(g_own_calls.load(), 1) << c.name;
    SerialPortFree(0);
  }
  EXPECT_EQ(count_open_fds(), fds_before_);
  EXPECT_TRUE(wait_until([&] { return count_threads() == threads_before_; }));
}

}  // namespace
}  // namespace kivtest
