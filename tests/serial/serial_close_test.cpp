// SPDX-License-Identifier: MIT
// Closing ports: settings restored per port, reader joined, descriptors
// released, output already written delivered, repeated and invalid closes.
#include <thread>

#include "serial_fixture.h"

namespace kivtest {
namespace {

// Gives a port's line recognisable settings of its own before the library opens it.
termios give_own_settings(const char* dev, speed_t speed, tcflag_t lflag) {
  int fd = open(kivsim::Sandbox::port_slave(dev).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  tcgetattr(fd, &t);
  cfsetspeed(&t, speed);
  t.c_lflag = lflag;
  tcsetattr(fd, TCSANOW, &t);
  tcgetattr(fd, &t);
  close(fd);
  return t;
}

TEST_F(SerialTest, EachPortGetsItsOwnSettingsBackOnClose) {
  termios before1 = give_own_settings(com1, B4800, ICANON | ECHO);
  termios before2 = give_own_settings(com2, B38400, ISIG);
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  ASSERT_EQ(SerialPortInit(com2, 57600), 0);
  SerialPortFree(0);
  SerialPortFree(1);
  termios after1 = settings_of(com1);
  termios after2 = settings_of(com2);
  // The flags come back; the speed stays the one chosen at the open.
  EXPECT_EQ(after1.c_lflag, before1.c_lflag);
  EXPECT_EQ(after2.c_lflag, before2.c_lflag);
  EXPECT_EQ(cfgetospeed(&after1), static_cast<speed_t>(B115200));
  EXPECT_EQ(cfgetospeed(&after2), static_cast<speed_t>(B57600));
}

TEST_F(SerialTest, CloseJoinsTheReaderAndReleasesEveryDescriptorPromptly) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(SerialPortInit(com1, 115200), 0);
    ASSERT_EQ(SerialPortInit(com2, 115200), 0);
    EXPECT_TRUE(wait_until([&] { return count_threads() == threads_before_ + 2; }));
    usleep(20000);  // both readers are waiting in poll
    const auto start = std::chrono::steady_clock::now();
    SerialPortFree(0);
    SerialPortFree(1);
    // The readers are woken, not waited out: a reader left in its poll would
    // hold the closes for the rest of its 500 ms interval. The bound is that
    // interval less a margin for a loaded machine under the thread sanitizer;
    // how long a close takes is measured by bench/serial_bench.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
    EXPECT_TRUE(wait_until([&] { return count_threads() == threads_before_; }));
    EXPECT_EQ(count_open_fds(), fds_before_);
  }
}

// The peer has not read for a while: what the write handed over is still on
// its way when the port is closed or reopened.
TEST_F(SerialTest, AMessageWrittenJustBeforeACloseOrReopenReachesALatePeer) {
  StdoutCapture out;
  std::vector<char> message(8192 + 64);
  for (size_t i = 0; i < message.size(); ++i)
    message[i] = static_cast<char>('A' + i % 26);
  const int len = static_cast<int>(message.size());
  for (bool reopen : {false, true}) {
    for (int round = 0; round < 5; ++round) {
      ASSERT_EQ(SerialPortInit(com1, 115200), 0);
      ASSERT_EQ(WriteSerialPort(message.data(), len, 0), 0);
      if (reopen) {
        ASSERT_EQ(SerialPortInit(com1, 115200), 0);
      } else {
        SerialPortFree(0);
      }
      usleep(20000);  // the peer reads only after the close or reopen returned
      ASSERT_EQ(read_bytes(peer1_, message.size(), std::chrono::seconds(2)),
                Bytes(message.begin(), message.end()))
          << (reopen ? "reopen" : "close") << ", round " << round;
      SerialPortFree(0);
    }
  }
}

// Output a line still counts as queued may leave it for as long as it needs
// on the wire plus 100 ms, and is discarded only when it does not.
TEST_F(SerialTest, ACloseWaitsForQueuedOutputWithinItsBound) {
  using std::chrono::milliseconds;
  const struct {
    const char* what;
    int queued;         // bytes counted when the close begins
    int sent_after_ms;  // when the count drops to 0; -1: never
    bool reopen;        // a reopen of the same path instead of a close
    milliseconds at_least, below;
    int discarded;  // what the last flush discards
  } cases[] = {
      {"nothing queued", 0, -1, false, milliseconds(0), milliseconds(100), TCIFLUSH},
      {"sent in time", 1152, 60, false, milliseconds(50), milliseconds(180), TCIFLUSH},
      // 1152 bytes x 10 bits at 115200 baud: 100 ms, and 100 ms more.
      {"never sent", 1152, -1, false, milliseconds(200), milliseconds(500), TCIOFLUSH},
      {"never sent, reopen", 1152, -1, true, milliseconds(200), milliseconds(500), TCIOFLUSH},
  };
  StdoutCapture out;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(SerialPortInit(com1, 115200), 0);
    fake_output_queue = c.queued;
    std::thread sender;
    if (c.sent_after_ms >= 0) {
      sender = std::thread([&] {
        usleep(static_cast<useconds_t>(c.sent_after_ms) * 1000);
        fake_output_queue = 0;
      });
    }
    const auto start = std::chrono::steady_clock::now();
    if (c.reopen) {
      ASSERT_EQ(SerialPortInit(com1, 115200), 0);
    } else {
      SerialPortFree(0);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, c.at_least);
    EXPECT_LT(took, c.below);
    EXPECT_EQ(last_flush_selector.load(), c.discarded);
    if (sender.joinable())
      sender.join();
    fake_output_queue = -1;
    SerialPortFree(0);
  }
}

// Once the queue counts nothing, a UART may still hold up to a FIFO's worth
// of bytes: a close or reopen waits for its transmitter to empty, for at
// most the time 64 characters take at the line's speed.
TEST_F(SerialTest, ACloseWaitsForTheTransmitterWithinAFifosTime) {
  using std::chrono::milliseconds;
  const struct {
    const char* what;
    int baud;
    int empty_after_ms;  // -1: never
    bool reopen;
    milliseconds at_least, below;
  } cases[] = {
      {"empties in time", 4800, 40, false, milliseconds(35), milliseconds(125)},
      // 64 characters x 10 bits at 4800 baud: 133 ms.
      {"never empties", 4800, -1, false, milliseconds(130), milliseconds(250)},
      {"never empties, reopen", 4800, -1, true, milliseconds(130), milliseconds(250)},
      // The same FIFO at 115200 baud leaves in 5.6 ms.
      {"never empties, fast line", 115200, -1, false, milliseconds(5), milliseconds(60)},
  };
  StdoutCapture out;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(SerialPortInit(com1, c.baud), 0);
    fake_transmitter_busy = true;
    std::thread sender;
    if (c.empty_after_ms >= 0) {
      sender = std::thread([&] {
        usleep(static_cast<useconds_t>(c.empty_after_ms) * 1000);
        fake_transmitter_busy = false;
      });
    }
    const auto start = std::chrono::steady_clock::now();
    if (c.reopen) {
      ASSERT_EQ(SerialPortInit(com1, c.baud), 0);
    } else {
      SerialPortFree(0);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, c.at_least);
    EXPECT_LT(took, c.below);
    if (sender.joinable())
      sender.join();
    fake_transmitter_busy = false;
    SerialPortFree(0);
  }
}

TEST_F(SerialTest, ClosingTwiceOrAnInvalidIndexDoesNothing) {
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  StdoutCapture out;
  SerialPortFree(0);
  SerialPortFree(0);
  SerialPortFree(1);  // never opened
  SerialPortFree(2);
  SerialPortFree(-1);
  svSerialFree(5);
  EXPECT_EQ(out.text(), "");
  // Opened again, the slot prints its line and serves a new reader.
  ChunkLog log;
  static ChunkLog* current;
  current = &log;
  EXPECT_EQ(svSerialInit(com1, 115200), 0);
  EXPECT_NE(out.text().find("serial index  0  fd  "), std::string::npos);
  ASSERT_EQ(svSetSerialReadCallback([](char* c) { current->add(c); }, 0), 0);
  write_all(peer1_, "back", 4);
  EXPECT_TRUE(wait_until([&] { return log.joined() == "back"; }));
}

TEST_F(SerialTest, TheRs232OpenUsesCom1WithItsFrameOptions) {
  termios t{};
  {
    StdoutCapture out;
    EXPECT_EQ(svSerialInitRS232(38400, 7, 2, 'o'), 0);
    ASSERT_TRUE(applied_settings(printed_fd(out.text()), &t));
  }
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_cflag & PARODD, 0u);
  // With com1 missing it fails and leaves the table alone.
  SerialPortFree(0);
  kivsim::Sandbox::remove_port(com1);
  EXPECT_EQ(svSerialInitRS232(9600, 8, 1, 'N'), -1);
  EXPECT_EQ(svSerialInit(com2, 115200), 0);
  char c[] = "c";
  EXPECT_EQ(svWriteSerial(c, 1, 0), 0);
  EXPECT_EQ(read_bytes(peer2_, 1, std::chrono::seconds(2)), bytes({'c'}));
}

}  // namespace
}  // namespace kivtest
