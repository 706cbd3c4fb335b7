// SPDX-License-Identifier: MIT
// Ports used from several threads at once: concurrent opens, opens that meet
// a close, and writes that meet a reopen or a close of their port.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>

#include <fstream>
#include <set>
#include <thread>

#include "serial_fixture.h"

namespace kivtest {
namespace {

// A wait for room on this descriptor number holds until the number changes,
// seen by a poll() defined in the test executable ahead of the C library's.
std::atomic<int> g_held_room_wait{-1};
std::atomic<bool> g_room_wait_held{false};

}  // namespace
}  // namespace kivtest

extern "C" int poll(pollfd* fds, nfds_t count, int timeout) {
  using Poll = int (*)(pollfd*, nfds_t, int);
  static Poll real = reinterpret_cast<Poll>(dlsym(RTLD_NEXT, "poll"));
  const int held = kivtest::g_held_room_wait.load();
  if (held >= 0 && count == 1 && fds[0].fd == held && fds[0].events == POLLOUT) {
    kivtest::g_room_wait_held = true;
    while (kivtest::g_held_room_wait.load() == held)
      usleep(1000);
  }
  return real(fds, count, timeout);
}

namespace kivtest {
namespace {

TEST_F(SerialTest, ThreadsOpeningDifferentPathsGetSlotsOfTheirOwn) {
  StdoutCapture out;
  for (int round = 0; round < 100; ++round) {
    std::atomic<int> ready{0};
    int slot_of[2] = {-2, -2};
    auto open_together = [&](char* path, int* slot) {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      *slot = SerialPortInitEX(path, 115200, 8, 1, 'N');
    };
    std::thread a(open_together, com1, &slot_of[0]);
    std::thread b(open_together, com2, &slot_of[1]);
    a.join();
    b.join();
    ASSERT_GE(slot_of[0], 0) << "round " << round;
    ASSERT_GE(slot_of[1], 0) << "round " << round;
    ASSERT_NE(slot_of[0], slot_of[1]) << "round " << round;
    // Each slot writes to its own device.
    char one[] = "1", two[] = "2";
    ASSERT_EQ(WriteSerialPort(one, 1, slot_of[0]), 0) << "round " << round;
    ASSERT_EQ(WriteSerialPort(two, 1, slot_of[1]), 0) << "round " << round;
    ASSERT_EQ(read_bytes(peer1_, 1, std::chrono::seconds(2)), bytes({'1'}));
    ASSERT_EQ(read_bytes(peer2_, 1, std::chrono::seconds(2)), bytes({'2'}));
    SerialPortFree(0);
    SerialPortFree(1);
  }
  EXPECT_EQ(count_open_fds(), fds_before_ + 2);  // the capture's own two
}

// A read callback on com1 that stays in its call until released, so that a
// close of the port waits for it.
std::atomic<bool> g_in_callback{false};
std::atomic<bool> g_release_callback{false};

void held_callback(char*) {
  g_in_callback = true;
  while (!g_release_callback.load())
    usleep(1000);
}

// Opens com1 into slot 0 with the held callback running in its reader.
void hold_com1_reader(int peer) {
  g_in_callback = false;
  g_release_callback = false;
  ASSERT_EQ(SerialPortInitEX(com1, 115200, 8, 1, 'N'), 0);
  ASSERT_EQ(SetReadSerialPortCallback(held_callback, nullptr, 0, 0), 0);
  ASSERT_TRUE(write_all(peer, "x", 1));
  ASSERT_TRUE(wait_until([] { return g_in_callback.load(); }));
}

TEST_F(SerialTest, AnOpenDuringACloseWaitsForItThenTakesTheFreedSlot) {
  char com3[] = "/dev/com3";
  ASSERT_GE(kivsim::Sandbox::add_port(com3), 0);
  const struct {
    char* opened;
    char* other;  // what slot 1 holds meanwhile
  } cases[] = {{com1, nullptr}, {com1, com2}, {com3, com2}};
  StdoutCapture out;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.opened) + (c.other ? " beside " + std::string(c.other) : ""));
    hold_com1_reader(peer1_);
    if (c.other) {
      ASSERT_EQ(SerialPortInitEX(c.other, 115200, 8, 1, 'N'), 1);
    }
    std::thread closer([] { SerialPortFree(0); });
    usleep(50000);  // the close is waiting for the callback
    std::thread releaser([] {
      usleep(200000);
      g_release_callback = true;
    });
    EXPECT_EQ(SerialPortInitEX(c.opened, 115200, 8, 1, 'N'), 0);
    EXPECT_TRUE(g_release_callback.load()) << "opened before the close ended";
    closer.join();
    releaser.join();
    SerialPortFree(0);
    SerialPortFree(1);
  }
}

TEST_F(SerialTest, ACallbackWhosePortIsClosingMayOpenAnotherButNotWaitForItsOwn) {
  StdoutCapture out;
  hold_com1_reader(peer1_);
  static std::atomic<int> own{2}, other{2};
  static std::atomic<bool> entered{false}, go{false};
  ASSERT_EQ(SetReadSerialPortCallback(
                [](char*) {
                  entered = true;
                  while (!go.load())
                    usleep(1000);
                  own = SerialPortInitEX(com1, 115200, 8, 1, 'N');
                  other = SerialPortInitEX(com2, 115200, 8, 1, 'N');
                },
                nullptr, 0, 0),
            0);
  ASSERT_TRUE(write_all(peer1_, "y", 1));
  g_release_callback = true;  // the held call returns and the next one begins
  ASSERT_TRUE(wait_until([] { return entered.load(); }));
  std::thread closer([] { SerialPortFree(0); });
  usleep(50000);  // the close is waiting for the callback
  go = true;
  closer.join();
  EXPECT_EQ(own.load(), -1);
  EXPECT_EQ(other.load(), 1);
  EXPECT_NE(out.text().find("open serial /dev/com1 error\n"), std::string::npos);
}

// A writer waiting for room on com1 (nobody reads the peer yet), with its
// result once it returns.
struct BlockedWriter {
  std::vector<char> data = std::vector<char>(200000, 'w');
  std::atomic<int> result{1};
  std::thread thread;

  void start() {
    thread = std::thread(
        [this] { result = WriteSerialPort(data.data(), static_cast<int>(data.size()), 0); });
    usleep(200000);  // the line's buffer is full by now
  }
};

// A file the process opens meanwhile; it takes `number` when that is free, as
// the lowest free number would.
int open_stranger(int number) {
  char name[] = "/tmp/kiv_stranger_XXXXXX";
  int fd = mkstemp(name);
  unlink(name);
  if (fd >= 0 && fcntl(number, F_GETFD) < 0) {
    dup2(fd, number);
    close(fd);
    fd = number;
  }
  return fd;
}

TEST_F(SerialTest, AWriteGoesOnlyToItsPortWhenTheSlotIsReopened) {
  StdoutCapture out;
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  const int number = printed_fd(out.text());
  // The writer waits for room on the number while the slot is reopened and
  // another file is opened.
  g_held_room_wait = number;
  BlockedWriter writer;
  writer.start();
  ASSERT_TRUE(wait_until([] { return g_room_wait_held.load(); }));
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  const int stranger = open_stranger(number);
  ASSERT_GE(stranger, 0);
  g_held_room_wait = -1;
  drain(peer1_, std::chrono::milliseconds(1500));
  writer.thread.join();
  EXPECT_EQ(lseek(stranger, 0, SEEK_END), 0) << "written into a file opened after the reopen";
  close(stranger);
}

TEST_F(SerialTest, AClosedPortTakesNoMoreOfAWrite) {
  StdoutCapture out;
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  const int number = printed_fd(out.text());
  BlockedWriter writer;
  writer.start();
  const auto start = std::chrono::steady_clock::now();
  SerialPortFree(0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  // Once the close has returned, no writer may still use the number.
  const int stranger = open_stranger(number);
  ASSERT_GE(stranger, 0);
  EXPECT_TRUE(
      wait_until([&] { return writer.result.load() != 1; }, std::chrono::milliseconds(100)));
  drain(peer1_);
  writer.thread.join();
  EXPECT_EQ(writer.result.load(), -1);
  EXPECT_EQ(lseek(stranger, 0, SEEK_END), 0) << "written into a file opened after the close";
  close(stranger);
}

}  // namespace
}  // namespace kivtest

namespace kivtest {
namespace {

// The threads of this process by id.
std::set<std::string> task_ids() {
  std::set<std::string> ids;
  DIR* d = opendir("/proc/self/task");
  while (dirent* e = d ? readdir(d) : nullptr)
    if (e->d_name[0] != '.')
      ids.insert(e->d_name);
  if (d)
    closedir(d);
  return ids;
}

// The blocked-signal mask of a thread, one bit per signal (bit n-1: signal n).
unsigned long long blocked_mask(const std::string& id) {
  std::ifstream status("/proc/self/task/" + id + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigBlk:", 0) == 0)
      return std::stoull(line.substr(7), nullptr, 16);
  return 0;
}

TEST_F(SerialTest, ReadersRunWithAsynchronousSignalsBlocked) {
  const std::set<std::string> before = task_ids();
  sigset_t caller_before, caller_after;
  pthread_sigmask(SIG_SETMASK, nullptr, &caller_before);
  StdoutCapture out;
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  pthread_sigmask(SIG_SETMASK, nullptr, &caller_after);
  EXPECT_EQ(sigismember(&caller_after, SIGUSR1), sigismember(&caller_before, SIGUSR1));
  std::set<std::string> started;
  for (const std::string& id : task_ids())
    if (before.count(id) == 0)
      started.insert(id);
  ASSERT_EQ(started.size(), 1u);
  // A thread starts with everything blocked until its own mask is in place:
  // look once the reader has delivered a chunk.
  static std::atomic<int> chunks{0};
  ASSERT_EQ(SetReadSerialPortCallback([](char*) { ++chunks; }, nullptr, 0, 0), 0);
  write_all(peer1_, "x", 1);
  ASSERT_TRUE(wait_until([] { return chunks.load() == 1; }));
  const unsigned long long mask = blocked_mask(*started.begin());
  for (int blocked : {SIGINT, SIGTERM, SIGUSR1, SIGALRM, SIGCHLD})
    EXPECT_NE(mask & (1ull << (blocked - 1)), 0u) << blocked;
  for (int open : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS})
    EXPECT_EQ(mask & (1ull << (open - 1)), 0u) << open;
}

}  // namespace
}  // namespace kivtest
