// SPDX-License-Identifier: MIT
// What an application does all day, through the library and without it: a
// light frame, a lens write and read, a status colour, an output line and an
// input edge, each beside a reference that makes the same calls directly, on
// the simulated board (pseudo-terminals for the ports, the I2C layer linked
// in, the GPIO and strip stand-ins). "--short" takes a few samples only.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wiringPi.h>
#include <ws2811.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "figures.h"
#include "kiv_io.h"
#include "kiv_strip.h"
#include "quiet_stdout.h"
#include "sandbox.h"
#include "wiringPi_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

// Reads whatever the peers of the ports receive, so that no line fills.
class Drain {
 public:
  explicit Drain(std::vector<int> peers) : peers_(std::move(peers)), thread_([this] { run(); }) {}
  ~Drain() {
    stop_.store(true);
    thread_.join();
  }

 private:
  void run() {
    std::vector<pollfd> fds;
    for (int fd : peers_)
      fds.push_back({fd, POLLIN, 0});
    char sink[4096];
    while (!stop_.load()) {
      if (poll(fds.data(), fds.size(), 20) <= 0)
        continue;
      for (const pollfd& p : fds)
        if (p.revents & POLLIN)
          (void)read(p.fd, sink, sizeof sink);
    }
  }
  std::vector<int> peers_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The lens transfers the library makes, made directly.
int raw_lens_transfer(i2c_msg* messages, unsigned count) {
  const int fd = open("/dev/i2c-5", O_RDWR | O_CLOEXEC);
  if (fd < 0)
    return -1;
  i2c_rdwr_ioctl_data request = {messages, count};
  const int result = ioctl(fd, I2C_RDWR, &request);
  close(fd);
  return result;
}

int raw_lens_write(int value) {
  unsigned char frame[6] = {0,
                            0,
                            static_cast<unsigned char>(value & 0xFF),
                            static_cast<unsigned char>((value >> 8) & 0xFF),
                            0,
                            0};
  i2c_msg message = {0x18, 0, sizeof frame, frame};
  return raw_lens_transfer(&message, 1);
}

int raw_lens_read() {
  unsigned char address[2] = {0, 0};
  unsigned char word[4] = {};
  i2c_msg messages[2] = {{0x18, 0, sizeof address, address}, {0x18, I2C_M_RD, sizeof word, word}};
  return raw_lens_transfer(messages, 2);
}

// An edge's way to its handler: the time it was raised and the time the
// handler ran (steady clock ticks).
std::atomic<int64_t> g_raised{0};
std::atomic<int64_t> g_handled{0};
int64_t now_ticks() {
  return Clock::now().time_since_epoch().count();
}
void on_trigger(int) {
  g_handled.store(now_ticks());
}
void on_reference_edge() {
  g_handled.store(now_ticks());
}

// Raises an edge on `pin` and returns the nanoseconds until its handler ran,
// less `settle_ms`; -1 when it did not run within a second past it.
double edge_latency_ns(int pin, int level, double settle_ms) {
  g_handled.store(0);
  const int64_t raised = now_ticks();
  if (!kivsim::gpio::inject_edge(pin, level))
    return -1;
  const auto give_up = Clock::now() + std::chrono::milliseconds(1000 + static_cast<int>(settle_ms));
  while (g_handled.load() == 0) {
    if (Clock::now() > give_up)
      return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
  const double ns =
      std::chrono::duration<double, std::nano>(Clock::duration(g_handled.load() - raised)).count();
  // Lets the handler's thread return to its wait before the next edge.
  (void)kivsim::gpio::wait_handler_idle(pin);
  return ns - settle_ms * 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  const int rounds = quick ? 3 : 30;
  const int ops = quick ? 20 : 200;
  std::string reason = kivsim::Sandbox::enter();
  if (!reason.empty()) {
    std::fprintf(stderr, "device_paths_bench: %s\n", reason.c_str());
    return 77;
  }
  const int peer1 = kivsim::Sandbox::add_port("/dev/com1");
  const int peer2 = kivsim::Sandbox::add_port("/dev/com2");
  // The reference's line: a pseudo-terminal like the light controller's.
  const int peer3 = kivsim::Sandbox::add_port("/dev/com3");
  if (peer1 < 0 || peer2 < 0 || peer3 < 0)
    return 1;
  const int raw_line = open("/dev/com3", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (raw_line < 0)
    return 1;
  Drain drain({peer1, peer2, peer3});

  std::vector<std::pair<bench::Pair, bench::Figures>> rows;
  std::vector<std::pair<bench::Pair, bench::Figures>> edge_rows;
  {
    bench::QuietStdout quiet;
    kiv::KivIo* io = kiv::KivIo::getInstance();
    io->setup();

    const char frame[5] = {'1', '-', '1', '\r', '\n'};
    std::vector<bench::Pair> pairs = {
        {"light frame (enableLightSection)", "write(2) of the same 5 bytes",
         [&] { return bench::per_op_ns(ops, [&] { io->enableLightSection(1); }); },
         [&] {
           return bench::per_op_ns(ops, [&] { (void)!write(raw_line, frame, sizeof frame); });
         },
         ops},
        {"lens write (setLiquid)", "open, I2C_RDWR write, close",
         [&] { return bench::per_op_ns(ops, [&] { io->setLiquid(1000); }); },
         [&] { return bench::per_op_ns(ops, [&] { raw_lens_write(1000); }); }, ops},
        {"lens read (getLiquid)", "open, I2C_RDWR write+read, close",
         [&] { return bench::per_op_ns(ops, [&] { io->getLiquid(); }); },
         [&] { return bench::per_op_ns(ops, [&] { raw_lens_read(); }); }, ops},
        {"status colour (setRgbLight)", "the same fill, ws2811_render",
         [&] { return bench::per_op_ns(ops, [&] { io->setRgbLight(2); }); },
         [&] {
           return bench::per_op_ns(ops, [&] {
             for (int i = 0; i < 9; ++i)
               ledstring.channel[1].leds[i] = dotcolors[3];
             ws2811_render(&ledstring);
           });
         },
         ops},
        {"output line (openLaser)", "digitalWrite(13, 1)",
         [&] { return bench::per_op_ns(ops, [&] { io->openLaser(); }); },
         [&] { return bench::per_op_ns(ops, [&] { digitalWrite(13, 1); }); }, ops},
    };
    for (const bench::Pair& pair : pairs)
      rows.emplace_back(pair, bench::measure(pair, rounds));

    // An input edge: the library's handler waits its 100 ms settle before the
    // callback; the reference handler runs on the stand-in's interrupt
    // thread of a free line (GPIO 5) without it.
    io->registerTrigger(on_trigger);
    wiringPiISR(5, INT_EDGE_BOTH, on_reference_edge);
    int level = 0;
    bench::Pair edge = {"input edge, beyond the 100 ms settle", "the stand-in's handler, directly",
                        [&] { return edge_latency_ns(12, level ^= 1, 100); },
                        [&] { return edge_latency_ns(5, level, 0); }, 1};
    edge_rows.emplace_back(edge, bench::measure(edge, quick ? 2 : 20));
    io->registerTrigger(nullptr);
    kiv::KivIo::close_io();
  }
  bench::print_head("Device paths", rounds);
  for (const auto& row : rows)
    bench::print_row(row.first, row.second);
  for (const auto& row : edge_rows)
    bench::print_row(row.first, row.second);
  std::printf("setRgbLight prints a line per call; standard output went to /dev/null.\n");
  close(raw_line);
  bool failed = false;
  for (const auto& row : rows)
    failed |= row.second.failed;
  for (const auto& row : edge_rows)
    failed |= row.second.failed;
  return failed ? 1 : 0;
}
