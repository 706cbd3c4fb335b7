// SPDX-License-Identifier: MIT
// WiringPi stand-in: control from another process over KIV_SIM_GPIO_SOCKET.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "test_support.h"
#include "wiringPi.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;
using gpio::CallKind;

namespace {

std::atomic<int> g_runs{0};
void count_handler() {
  digitalRead(6);
  ++g_runs;
}

// The launcher's side: a listening socket whose path the stand-in is given.
class Launcher {
 public:
  Launcher() {
    char dir[] = "/tmp/kiv-gpio-remote-XXXXXX";
    dir_ = mkdtemp(dir);
    path_ = dir_ + "/gpio.sock";
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path_.c_str());
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener_, 1);
    setenv("KIV_SIM_GPIO_SOCKET", path_.c_str(), 1);
  }
  ~Launcher() {
    hang_up();
    close(listener_);
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  bool accept_peer() {
    peer_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer_ >= 0;
  }
  // Sets the stand-in up as the launcher meets it: accepts its connection
  // and sends `hand_over` (the board's lines and the marker; a launcher of an
  // older make sends nothing) while set-up runs. Returns set-up's result.
  int set_up(const std::string& hand_over = "handed-over\n") {
    bool sent = false;
    std::thread launcher([&] {
      sent = accept_peer() && kivtest::write_all(peer_, hand_over.data(), hand_over.size());
    });
    const int result = wiringPiSetupGpio();
    launcher.join();
    EXPECT_TRUE(sent);
    return result;
  }
  void send_line(const std::string& line) {
    ASSERT_TRUE(kivtest::write_all(peer_, line.data(), line.size()));
  }
  // Reads reports until `line` has arrived; returns everything read so far.
  std::string wait_for(const std::string& line) {
    kivtest::wait_until(
        [&] {
          auto got = kivtest::read_bytes(peer_, 1, std::chrono::milliseconds(10));
          received_.append(got.begin(), got.end());
          return received_.find(line) != std::string::npos;
        },
        std::chrono::milliseconds(3000));
    return unstamped();
  }
  // Reads quickly, in bulk, until `text` has arrived (a leading newline:
  // at the start of a report, after its time); returns everything.
  std::string read_until(const std::string& text) {
    const std::string after_time = text[0] == '\n' ? " " + text.substr(1) : text;
    kivtest::wait_until(
        [&] {
          auto got = kivtest::drain(peer_, std::chrono::milliseconds(50));
          received_.append(got.begin(), got.end());
          return received_.find(text) != std::string::npos ||
                 received_.find(after_time) != std::string::npos;
        },
        std::chrono::milliseconds(10000));
    return unstamped();
  }
  // What was read, without the time at the start of each report; every
  // report but the catch-up after lost ones must carry one.
  std::string unstamped() const {
    std::string out;
    size_t at = 0;
    while (at < received_.size()) {
      size_t end = received_.find('\n', at);
      end = end == std::string::npos ? received_.size() : end + 1;
      std::string line = received_.substr(at, end - at);
      size_t space = line.find(' ');
      bool stamped = line[0] == '@' && space != std::string::npos && space > 1 &&
                     line.find_first_not_of("0123456789", 1) == space;
      EXPECT_TRUE(stamped || line.rfind("lost ", 0) == 0 || line.rfind("written ", 0) == 0) << line;
      out += stamped ? line.substr(space + 1) : line;
      at = end;
    }
    return out;
  }
  void hang_up() {
    if (peer_ >= 0)
      close(peer_);
    peer_ = -1;
  }

 private:
  std::string dir_;
  std::string path_;
  int listener_ = -1;
  int peer_ = -1;
  std::string received_;
};

}  // namespace

TEST(GpioRemote, ReportsEveryEventAsALineInOrder) {
  Launcher launcher;
  ASSERT_EQ(launcher.set_up(), 0);
  pinMode(22, OUTPUT);
  digitalWrite(22, 5);
  pullUpDnControl(17, PUD_DOWN);
  ASSERT_EQ(wiringPiISR(6, INT_EDGE_BOTH, count_handler), 0);
  gpio::fail_isr(12, true);
  wiringPiISR(12, INT_EDGE_BOTH, count_handler);
  EXPECT_EQ(launcher.wait_for("isr 12 3 -1\n"),
            "setup 0\nmode 22 1\nwrite 22 1\npull 17 1\nisr 6 3 0\nisr 12 3 -1\n");
}

TEST(GpioRemote, CommandsRaiseEdgesAndSetLevels) {
  Launcher launcher;
  ASSERT_EQ(launcher.set_up(), 0);
  ASSERT_EQ(wiringPiISR(6, INT_EDGE_BOTH, count_handler), 0);
  launcher.send_line("bogus line\nedge 6\nedge 6 1 2\n");
  launcher.send_line("edge 6 1\n");
  std::string got = launcher.wait_for("handler-end 6\n");
  EXPECT_NE(got.find("handler-start 6\nread 6 1\nhandler-end 6\n"), std::string::npos) << got;
  EXPECT_EQ(g_runs, 1) << "malformed lines are ignored";

  launcher.send_line("level 6 0\n");
  ASSERT_TRUE(kivtest::wait_until([] { return gpio::level(6) == 0; }));
  EXPECT_EQ(gpio::handler_starts(6), 1) << "a level change raises no edge";
}

TEST(GpioRemote, ALauncherThatLeftTurnsReportingOffWithoutHarm) {
  Launcher launcher;
  ASSERT_EQ(launcher.set_up(), 0);
  launcher.wait_for("setup 0\n");
  int threads = kivtest::count_threads();
  pinMode(22, OUTPUT);
  launcher.hang_up();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i)
    digitalWrite(22, i & 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(gpio::level(22), 1);
  // The command thread notices the hang-up and ends.
  EXPECT_TRUE(kivtest::wait_until([&] { return kivtest::count_threads() == threads - 1; }));
}

TEST(GpioRemote, ASlowLauncherHoldsUpNoWriteAndLearnsWhatWasLost) {
  Launcher launcher;
  ASSERT_EQ(launcher.set_up(), 0);
  pinMode(22, OUTPUT);
  // The launcher reads nothing meanwhile: far more reports than the socket
  // and the stand-in's backlog hold.
  auto slowest = std::chrono::steady_clock::duration::zero();
  for (int i = 1; i <= 60000; ++i) {
    const auto start = std::chrono::steady_clock::now();
    digitalWrite(22, i % 3 == 0);
    slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
  }
  // The launcher reads nothing until the loop ends: a write that waited for it
  // to read would never end, one that waited for room a while before giving
  // up would take seconds. The bound stands far above any delay a loaded
  // machine or a sanitizer adds; how long a write takes is a figure of
  // bench/gpio_report_bench, not a test's.
  EXPECT_LT(slowest, std::chrono::seconds(5)) << "a write waited for the launcher";
  // Once the launcher reads again: the count of lost reports, then the level
  // each written line ended at.
  const std::string got = launcher.read_until("\nwritten 22 ");
  const size_t lost = got.find("\nlost ");
  ASSERT_NE(lost, std::string::npos) << got.substr(got.size() > 200 ? got.size() - 200 : 0);
  EXPECT_GT(std::stol(got.substr(lost + 6)), 0);
  EXPECT_NE(got.find("\nwritten 22 1\n", lost), std::string::npos);
  // and the mode each line was set to, which the lost reports carried too
  std::string modes;
  EXPECT_TRUE(kivtest::wait_until(
      [&] {
        modes = launcher.read_until("\nwritten 22 1\n");
        const size_t written = modes.find("\nwritten 22 1\n", lost);
        return modes.find("\nmode 22 1\n", written) != std::string::npos;
      },
      std::chrono::milliseconds(5000)))
      << modes.substr(lost);
}

// The launcher hands the stand-in the board's lines before set-up returns:
// the program's first read sees them, and none of it is reported back as the
// program's own calls.
TEST(GpioRemote, SetUpTakesTheBoardsLinesFromTheLaunchersHandOver) {
  Launcher launcher;
  ASSERT_EQ(launcher.set_up("level 17 1\nlatch 13 1\nmode 13 1\nlatch 22 1\nmode 22 0\n"
                            "mode 27 1\npull 5 2\nbogus line\nhanded-over\n"),
            0);
  EXPECT_EQ(digitalRead(17), 1) << "the first read after set-up";
  const struct {
    int pin;
    int mode;
    int level;
  } lines[] = {
      {17, gpio::kUnset, 1},  // held by the launcher
      {13, OUTPUT, 1},        // an output at its latch
      {22, INPUT, 0},         // written while an input: the latch only
      {27, OUTPUT, 0},        // an output never written
      {5, gpio::kUnset, 1},   // pulled up
  };
  for (const auto& l : lines) {
    EXPECT_EQ(gpio::mode(l.pin), l.mode) << l.pin;
    EXPECT_EQ(gpio::level(l.pin), l.level) << l.pin;
  }
  pinMode(22, OUTPUT);
  EXPECT_EQ(gpio::level(22), 1) << "the handed latch drives the line";
  EXPECT_TRUE(gpio::calls_of(CallKind::Write).empty());
  EXPECT_EQ(gpio::calls_of(CallKind::Mode).size(), 1u);
  EXPECT_EQ(launcher.wait_for("mode 22 1\n"), "setup 0\nread 17 1\nmode 22 1\n");
}

// A launcher of an older make hands nothing over: set-up waits for it a
// while, once, then goes on with the lines as they are.
TEST(GpioRemote, WithoutAHandOverSetUpGoesOnAfterItsBound) {
  Launcher launcher;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(launcher.set_up(""), 0);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::seconds(5));
  const auto again = std::chrono::steady_clock::now();
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::milliseconds(500));
  pinMode(5, OUTPUT);
  EXPECT_EQ(launcher.wait_for("mode 5 1\n"), "setup 0\nsetup 0\nmode 5 1\n");
  // A hand-over that comes once the program runs never changes its lines;
  // the launcher's commands still do.
  launcher.send_line("latch 6 1\nmode 6 1\npull 8 2\nhanded-over\nlevel 9 1\n");
  EXPECT_TRUE(kivtest::wait_until([] { return gpio::level(9) == 1; }));
  EXPECT_EQ(gpio::mode(6), gpio::kUnset);
  EXPECT_EQ(gpio::level(6), 0);
  EXPECT_EQ(gpio::level(8), 0);
}

// A launcher that hangs up at once (one with all its places taken) sends no
// hand-over: set-up goes on without waiting for it.
TEST(GpioRemote, ALauncherThatHangsUpEndsTheWaitForTheHandOver) {
  Launcher launcher;
  std::thread refusing([&] {
    if (launcher.accept_peer())
      launcher.hang_up();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(wiringPiSetupGpio(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  refusing.join();
}

TEST(GpioRemote, NoVariableNoSocket) {
  unsetenv("KIV_SIM_GPIO_SOCKET");
  int fds = kivtest::count_open_fds();
  int threads = kivtest::count_threads();
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  EXPECT_EQ(kivtest::count_open_fds(), fds);
  EXPECT_TRUE(kivtest::wait_until([&] { return kivtest::count_threads() == threads; }));
}
