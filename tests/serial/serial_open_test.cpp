// SPDX-License-Identifier: MIT
// Opening ports: slot choice, the printed line, line settings, refusals.
#include <cstdio>
#include <regex>

#include "serial_fixture.h"

namespace kivtest {
namespace {

// The slot index and descriptor printed by each successful open.
std::vector<std::pair<int, int>> opened_lines(const std::string& out) {
  std::vector<std::pair<int, int>> lines;
  std::regex re("serial index  (-?\\d+)  fd  (-?\\d+)\n");
  for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it)
    lines.emplace_back(std::stoi((*it)[1]), std::stoi((*it)[2]));
  return lines;
}

TEST_F(SerialTest, OpensIntoSlotsInOrderAndPrintsEachIndex) {
  StdoutCapture out;
  EXPECT_EQ(SerialPortInit(com1, 115200), 0);
  EXPECT_EQ(SerialPortInitEX(com2, 115200, 8, 1, 'N'), 1);
  auto lines = opened_lines(out.text());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].first, 0);
  EXPECT_EQ(lines[1].first, 1);
  EXPECT_GT(lines[0].second, 2);
  EXPECT_NE(lines[0].second, lines[1].second);
  // Both descriptors are real and distinct: writes reach their own peers.
  char a[] = "A", b[] = "B";
  EXPECT_EQ(WriteSerialPort(a, 1, 0), 0);
  EXPECT_EQ(WriteSerialPort(b, 1, 1), 0);
  EXPECT_EQ(read_bytes(peer1_, 1, std::chrono::seconds(2)), bytes({'A'}));
  EXPECT_EQ(read_bytes(peer2_, 1, std::chrono::seconds(2)), bytes({'B'}));
}

TEST_F(SerialTest, RawEightNoneOneAtTheNamedSpeed) {
  StdoutCapture out;
  ASSERT_EQ(SerialPortInit(com1, 9600), 0);
  termios t{};
  ASSERT_TRUE(applied_settings(printed_fd(out.text()), &t));
  termios seen = settings_of(com1);
  EXPECT_EQ(cfgetospeed(&seen), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  EXPECT_EQ(t.c_iflag, 0u);
  EXPECT_EQ(t.c_oflag, 0u);
  EXPECT_EQ(t.c_lflag, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(SerialTest, UnknownBaudValuesGive115200) {
  for (int baud : {2400, 0, -1, 115201}) {
    ASSERT_EQ(SerialPortInit(com1, baud), 0) << baud;
    termios t = settings_of(com1);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200)) << baud;
  }
  const std::pair<int, speed_t> known[] = {{4800, B4800},   {9600, B9600},   {19200, B19200},
                                           {38400, B38400}, {57600, B57600}, {115200, B115200}};
  for (auto [baud, speed] : known) {
    ASSERT_EQ(SerialPortInit(com1, baud), 0);
    termios t = settings_of(com1);
    EXPECT_EQ(cfgetospeed(&t), speed) << baud;
  }
}

TEST_F(SerialTest, FrameOptionsOfTheExtendedOpen) {
  struct Case {
    int data_bits, stop_bits;
    char parity;
    tcflag_t size;
    bool parenb, parodd, cstopb, inpck;
  };
  const Case cases[] = {
      {7, 1, 'N', CS7, false, false, false, false}, {8, 2, 'n', CS8, false, false, true, false},
      {5, 3, 'x', CS8, false, false, false, false}, {8, 1, 'o', CS8, true, true, false, true},
      {8, 1, 'O', CS8, true, true, false, true},    {7, 2, 'e', CS7, true, false, true, true},
      {8, 1, 'E', CS8, true, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("options ") + std::to_string(c.data_bits) + c.parity +
                 std::to_string(c.stop_bits));
    StdoutCapture out;
    ASSERT_EQ(SerialPortInitEX(com2, 19200, c.data_bits, c.stop_bits, c.parity), 0);
    termios t{};
    ASSERT_TRUE(applied_settings(printed_fd(out.text()), &t));
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ((t.c_cflag & PARENB) != 0, c.parenb);
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.parodd);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.cstopb);
    EXPECT_EQ(t.c_iflag, c.inpck ? static_cast<tcflag_t>(INPCK) : 0u);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
  }
}

TEST_F(SerialTest, ReopeningItsOwnPathKeepsTheSlotAndLeaksNothing) {
  ChunkLog log;
  static ChunkLog* current;
  current = &log;
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  ASSERT_EQ(SetReadSerialPortCallback([](char* c) { current->add(c); }, nullptr, 0, 0), 0);
  StdoutCapture out;
  const int fds_open = count_open_fds();
  const int threads_open = count_threads();
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(SerialPortInitEX(com1, 115200, 8, 1, 'N'), 0);
  auto lines = opened_lines(out.text());
  ASSERT_EQ(lines.size(), 5u);
  for (auto& l : lines)
    EXPECT_EQ(l.first, 0);
  // The earlier descriptors were closed, and one reader serves the slot; the
  // slot's number stays closed on exec.
  EXPECT_EQ(count_open_fds(), fds_open);
  EXPECT_NE(fcntl(lines[0].second, F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_TRUE(wait_until([&] { return count_threads() == threads_open; }));
  // The callback stays registered and the reader reads the new descriptor.
  write_all(peer1_, "ping", 4);
  EXPECT_TRUE(wait_until([&] { return log.joined() == "ping"; })) << log.joined();
  char x[] = "x";
  EXPECT_EQ(WriteSerialPort(x, 1, 0), 0);
  EXPECT_EQ(read_bytes(peer1_, 1, std::chrono::seconds(2)), bytes({'x'}));
}

TEST_F(SerialTest, AFreedSlotIsTakenBeforeALaterOne) {
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  ASSERT_EQ(SerialPortInit(com2, 115200), 0);
  SerialPortFree(0);
  StdoutCapture out;
  EXPECT_EQ(SerialPortInitEX(com2, 115200, 8, 1, 'N'), 0);
  auto lines = opened_lines(out.text());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first, 0);
}

TEST_F(SerialTest, AThirdPathIsRefusedWhileBothSlotsAreTaken) {
  int peer3 = kivsim::Sandbox::add_port("/dev/com3");
  ASSERT_GE(peer3, 0);
  char com3[] = "/dev/com3";
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  ASSERT_EQ(SerialPortInit(com2, 115200), 0);
  StdoutCapture out;
  const int fds = count_open_fds();
  EXPECT_EQ(SerialPortInit(com3, 115200), -1);
  EXPECT_EQ(SerialPortInitEX(com3, 115200, 8, 1, 'N'), -1);
  EXPECT_NE(out.text().find("open serial /dev/com3 error"), std::string::npos) << out.text();
  EXPECT_EQ(opened_lines(out.text()).size(), 0u);
  EXPECT_EQ(count_open_fds(), fds);
  // Slot 0 still serves /dev/com1.
  char a[] = "a";
  EXPECT_EQ(WriteSerialPort(a, 1, 0), 0);
  EXPECT_EQ(read_bytes(peer1_, 1, std::chrono::seconds(2)), bytes({'a'}));
}

TEST_F(SerialTest, PathsThatCannotBeOpenedOrDoNotFitAreRefused) {
  StdoutCapture out;
  const int fds = count_open_fds();
  char missing[] = "/dev/com9";
  EXPECT_EQ(SerialPortInit(missing, 115200), -1);
  std::string long_path = "/dev/" + std::string(95, 'x');  // 100 characters
  EXPECT_EQ(SerialPortInit(long_path.data(), 115200), -1);
  EXPECT_EQ(SerialPortInit(nullptr, 115200), -1);
  std::string text = out.text();
  EXPECT_NE(text.find("open serial /dev/com9 error\n"), std::string::npos) << text;
  EXPECT_NE(text.find("open serial " + long_path + " error"), std::string::npos);
  EXPECT_EQ(count_open_fds(), fds);
  // The table was not touched: /dev/com1 still takes slot 0.
  EXPECT_EQ(SerialPortInitEX(com1, 115200, 8, 1, 'N'), 0);
}

TEST_F(SerialTest, AReaderThatCannotStartLeavesThePortOpenForWriting) {
  fail_next_thread_creations = 1;
  StdoutCapture out;
  EXPECT_EQ(SerialPortInit(com1, 115200), -1);
  EXPECT_NE(out.text().find("serial  thread init error\r\n"), std::string::npos) << out.text();
  char w[] = "w";
  EXPECT_EQ(WriteSerialPort(w, 1, 0), 0);
  EXPECT_EQ(read_bytes(peer1_, 1, std::chrono::seconds(2)), bytes({'w'}));
  // Opening the path again gives the slot its reader.
  ChunkLog log;
  static ChunkLog* current;
  current = &log;
  EXPECT_EQ(SerialPortInit(com1, 115200), 0);
  ASSERT_EQ(SetReadSerialPortCallback([](char* c) { current->add(c); }, nullptr, 0, 0), 0);
  write_all(peer1_, "r", 1);
  EXPECT_TRUE(wait_until([&] { return log.joined() == "r"; }));
}

}  // namespace
}  // namespace kivtest
