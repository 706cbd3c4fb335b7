// SPDX-License-Identifier: MIT
// A long run of what the device does all day, on the simulated board: both
// serial ports carry numbered, checksummed messages in both directions at the
// pace of a 115200 8N1 line, the three inputs see edges at 100 Hz, and four
// application threads drive the light controller, the lens and the strip.
// Figures at start (after a warm-up) and end; the exit status is non-zero
// when a byte was lost or corrupted, an operation failed, or descriptors,
// threads or resident memory grew.
//
//   soak [--short | --seconds N] [--rss-slack-kib N]
//
// The default run takes 30 minutes; --short about 30 seconds.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "i2c_sim.h"
#include "kiv_io.h"
#include "message_stream.h"
#include "process_figures.h"
#include "sandbox.h"
#include "wiringPi_sim.h"
#include "ws2811_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// 115200 baud, 10 bits a byte.
constexpr double kLineBytesPerSecond = 11520.0;
constexpr int kInputPins[3] = {17, 12, 20};
constexpr const char* kInputNames[3] = {"input", "trigger", "tune"};
constexpr int kAppThreads = 4;

std::atomic<bool> g_running{true};

// Holds a writer to the line's rate: the n-th byte leaves no earlier than
// n / rate seconds after the start.
class Pacer {
 public:
  void wait_for(uint64_t bytes_so_far) const {
    std::this_thread::sleep_until(
        start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                     static_cast<double>(bytes_so_far) / kLineBytesPerSecond)));
  }

 private:
  Clock::time_point start_ = Clock::now();
};

// One direction of one port.
struct Direction {
  const char* name;
  soak::MessageChecker checker;
  std::atomic<uint64_t> sent{0};  // bytes of messages whose write succeeded
  std::atomic<uint64_t> write_errors{0};
  uint64_t lost() const {
    const uint64_t s = sent.load();
    const uint64_t r = checker.good_bytes.load();
    return s > r ? s - r : 0;
  }
};

Direction g_to_com1{"library -> com1 peer", {}, {}, {}};
Direction g_from_com1{"com1 peer -> library", {}, {}, {}};
Direction g_to_com2{"library -> com2 peer", {}, {}, {}};
Direction g_from_com2{"com2 peer -> library", {}, {}, {}};
Direction* const g_directions[4] = {&g_to_com1, &g_from_com1, &g_to_com2, &g_from_com2};

std::atomic<uint64_t> g_read_callbacks[2];
std::atomic<uint64_t> g_edges[3];
std::atomic<uint64_t> g_edge_callbacks[3];
std::atomic<int> g_last_level[3];

enum Error { kLightFrame, kLensSet, kLensGet, kLensRange, kVTemp, kEdgeLevel, kErrorKinds };
constexpr const char* kErrorNames[kErrorKinds] = {"light frame write", "lens set",
                                                  "lens read",         "lens value out of range",
                                                  "VTemp on",          "edge level"};
std::atomic<uint64_t> g_errors[kErrorKinds];
std::atomic<uint64_t> g_app_ops{0};

void on_port_data(const unsigned char* data, int len, void* user) {
  auto* dir = static_cast<Direction*>(user);
  ++g_read_callbacks[dir == &g_from_com1 ? 0 : 1];
  dir->checker.feed(data, static_cast<size_t>(len));
}

template <int Line>
void on_edge(int level) {
  ++g_edge_callbacks[Line];
  g_last_level[Line].store(level);
}

// The library's side of one port: messages written at the line's pace.
void library_writer(Direction& dir, int (kiv::KivIo::*write)(char*, int)) {
  kiv::KivIo* io = kiv::KivIo::getInstance();
  soak::MessageSource source;
  unsigned char message[soak::kMaxMessage];
  Pacer pacer;
  uint64_t offered = 0;
  while (g_running.load()) {
    const size_t n = source.next(message);
    if ((io->*write)(reinterpret_cast<char*>(message), static_cast<int>(n)) == 0)
      dir.sent += n;
    else
      ++dir.write_errors;
    offered += n;
    pacer.wait_for(offered);
  }
}

// The peer's side of one port.
void peer_writer(Direction& dir, int peer) {
  soak::MessageSource source;
  unsigned char message[soak::kMaxMessage];
  Pacer pacer;
  uint64_t offered = 0;
  while (g_running.load()) {
    const size_t n = source.next(message);
    size_t done = 0;
    while (done < n) {
      const ssize_t w = write(peer, message + done, n - done);
      if (w < 0) {
        ++dir.write_errors;
        break;
      }
      done += static_cast<size_t>(w);
    }
    if (done == n)
      dir.sent += n;
    offered += n;
    pacer.wait_for(offered);
  }
}

// Reads both peers until told to stop (after the final drain).
void peer_reader(int peer1, int peer2, const std::atomic<bool>& stop) {
  pollfd fds[2] = {{peer1, POLLIN, 0}, {peer2, POLLIN, 0}};
  Direction* into[2] = {&g_to_com1, &g_to_com2};
  unsigned char buffer[4096];
  while (!stop.load()) {
    if (poll(fds, 2, 50) <= 0)
      continue;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & POLLIN))
        continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0)
        into[i]->checker.feed(buffer, static_cast<size_t>(n));
    }
  }
}

// Edges on the three inputs, 100 a second each.
void edge_driver() {
  int level = 0;
  auto next = Clock::now();
  while (g_running.load()) {
    level ^= 1;
    for (int i = 0; i < 3; ++i) {
      (void)kivsim::gpio::inject_edge(kInputPins[i], level);
      ++g_edges[i];
    }
    next += milliseconds(10);
    std::this_thread::sleep_until(next);
  }
}

// An application thread: light, lens and strip operations in turn, each
// thread starting at another place in the round.
void application(int id) {
  kiv::KivIo* io = kiv::KivIo::getInstance();
  for (unsigned i = static_cast<unsigned>(id) * 3u; g_running.load(); ++i) {
    const int section = 1 + static_cast<int>(i % 4);
    switch (i % 9) {
      case 0:
        if (io->enableLightSection(section) != 0)
          ++g_errors[kLightFrame];
        break;
      case 1:
        if (io->disableLightSection(section) != 0)
          ++g_errors[kLightFrame];
        break;
      case 2:
        if (io->setWorkMode(1 + static_cast<int>(i % 5)) != 0)
          ++g_errors[kLightFrame];
        break;
      case 3:
        (i & 8) ? io->open_light() : io->close_light();
        break;
      case 4:
        if (io->setLiquid(static_cast<int>(i * 37u % 46001u)) != 0)
          ++g_errors[kLensSet];
        break;
      case 5: {
        const int value = io->getLiquid();
        if (value < 0)
          ++g_errors[kLensGet];
        else if (value > 46000)
          ++g_errors[kLensRange];
        break;
      }
      case 6:
        if (io->openVTemp() != 0)
          ++g_errors[kVTemp];
        break;
      case 7:
        io->setRgbLight(static_cast<unsigned char>(i % 4));
        break;
      default:
        io->setRgbLight_rgb(static_cast<unsigned char>(i), 0x20, static_cast<unsigned char>(id));
        break;
    }
    ++g_app_ops;
    std::this_thread::sleep_for(milliseconds(5));
  }
}

// The stand-ins keep a record of every call for the tests (the I2C layer's
// without a bound): forgetting it now and then keeps the memory figures the
// library's.
void forget_stand_in_records() {
  kivsim::gpio::clear_calls();
  kivsim::strip::clear();
  kivsim::i2c::clear_transfers();
}

// Before the end, bytes not yet received may still be on their way.
void print_figures(FILE* out, const char* when, double seconds, const soak::ProcessFigures& p,
                   bool final = false) {
  std::fprintf(out, "== %s, %.0f s ==\n", when, seconds);
  for (const Direction* d : g_directions)
    std::fprintf(out,
                 "  %-22s sent %llu B, received %llu B, %s %llu B (messages %llu, "
                 "corrupt %llu, missing %llu, write errors %llu)\n",
                 d->name, static_cast<unsigned long long>(d->sent.load()),
                 static_cast<unsigned long long>(d->checker.good_bytes.load()),
                 final ? "lost" : "in flight", static_cast<unsigned long long>(d->lost()),
                 static_cast<unsigned long long>(d->checker.messages.load()),
                 static_cast<unsigned long long>(d->checker.corrupt.load()),
                 static_cast<unsigned long long>(d->checker.missing.load()),
                 static_cast<unsigned long long>(d->write_errors.load()));
  std::fprintf(out, "  read callbacks: com1 %llu, com2 %llu\n",
               static_cast<unsigned long long>(g_read_callbacks[0].load()),
               static_cast<unsigned long long>(g_read_callbacks[1].load()));
  for (int i = 0; i < 3; ++i)
    std::fprintf(out, "  %-7s edges %llu, callbacks %llu\n", kInputNames[i],
                 static_cast<unsigned long long>(g_edges[i].load()),
                 static_cast<unsigned long long>(g_edge_callbacks[i].load()));
  std::fprintf(out, "  application operations %llu; errors:",
               static_cast<unsigned long long>(g_app_ops.load()));
  for (int k = 0; k < kErrorKinds; ++k)
    std::fprintf(out, " %s %llu%s", kErrorNames[k],
                 static_cast<unsigned long long>(g_errors[k].load()),
                 k + 1 < kErrorKinds ? "," : "\n");
  std::fprintf(out, "  resident %ld KiB, descriptors %d, threads %d\n", p.rss_kib, p.descriptors,
               p.threads);
  std::fflush(out);
}

// Standard output goes to /dev/null while the library runs (setRgbLight and
// setWorkMode print a line per call); the figures go to a copy of it.
FILE* quiet_stdout() {
  std::fflush(stdout);
  const int kept = dup(1);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  dup2(null, 1);
  close(null);
  return fdopen(kept, "w");
}

bool delivered_all() {
  return std::all_of(std::begin(g_directions), std::end(g_directions),
                     [](const Direction* d) { return d->lost() == 0; });
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 30 * 60;
  long rss_slack_kib = 1024;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--short") == 0)
      seconds = 30;
    else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
      seconds = std::atof(argv[++i]);
    else if (std::strcmp(argv[i], "--rss-slack-kib") == 0 && i + 1 < argc)
      rss_slack_kib = std::atol(argv[++i]);
    else {
      std::fprintf(stderr, "usage: soak [--short | --seconds N] [--rss-slack-kib N]\n");
      return 2;
    }
  }
  const std::string reason = kivsim::Sandbox::enter();
  if (!reason.empty()) {
    std::fprintf(stderr, "soak: %s\n", reason.c_str());
    return 77;
  }
  const int peer1 = kivsim::Sandbox::add_port("/dev/com1");
  const int peer2 = kivsim::Sandbox::add_port("/dev/com2");
  if (peer1 < 0 || peer2 < 0)
    return 1;
  FILE* out = quiet_stdout();
  if (out == nullptr)
    return 1;

  kiv::KivIo* io = kiv::KivIo::getInstance();
  io->setup();
  io->setAMA1Callback(on_port_data, &g_from_com1);
  io->setAMA2Callback(on_port_data, &g_from_com2);
  io->registerInput(on_edge<0>);
  io->registerTrigger(on_edge<1>);
  io->registerTune(on_edge<2>);

  std::atomic<bool> stop_reading{false};
  std::vector<std::thread> threads;
  threads.emplace_back(peer_reader, peer1, peer2, std::cref(stop_reading));
  threads.emplace_back(library_writer, std::ref(g_to_com1), &kiv::KivIo::writeAMA1);
  threads.emplace_back(library_writer, std::ref(g_to_com2), &kiv::KivIo::writeAMA2);
  threads.emplace_back(peer_writer, std::ref(g_from_com1), peer1);
  threads.emplace_back(peer_writer, std::ref(g_from_com2), peer2);
  threads.emplace_back(edge_driver);
  for (int id = 0; id < kAppThreads; ++id)
    threads.emplace_back(application, id);

  // Resident memory settles once every thread has its heap arena and every
  // buffer its size: the comparison starts after that.
  const auto begin = Clock::now();
  const double warm_up = std::min(60.0, std::max(5.0, seconds / 20));
  const auto warm_end =
      begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(warm_up));
  while (Clock::now() < warm_end) {
    std::this_thread::sleep_for(milliseconds(200));
    forget_stand_in_records();
  }
  const soak::ProcessFigures start = soak::settled_figures();
  print_figures(out, "start", warm_up, start);

  const auto end =
      begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  auto report_at = Clock::now() + std::chrono::minutes(5);
  while (Clock::now() < end) {
    std::this_thread::sleep_until(std::min(end, Clock::now() + milliseconds(200)));
    forget_stand_in_records();
    if (Clock::now() >= report_at && Clock::now() < end) {
      report_at += std::chrono::minutes(5);
      print_figures(out, "running", std::chrono::duration<double>(Clock::now() - begin).count(),
                    soak::process_figures());
    }
  }
  const soak::ProcessFigures last = soak::settled_figures();

  g_running.store(false);
  for (size_t i = 1; i < threads.size(); ++i)
    threads[i].join();
  // What is still on its way arrives within a few line times.
  const auto drain_end = Clock::now() + std::chrono::seconds(5);
  while (!delivered_all() && Clock::now() < drain_end)
    std::this_thread::sleep_for(milliseconds(10));
  // The inputs' last callbacks, after the queued edges have run out.
  for (int pin : kInputPins)
    (void)kivsim::gpio::wait_handler_idle(pin, std::chrono::seconds(10));
  for (int i = 0; i < 3; ++i)
    if (g_last_level[i].load() != kivsim::gpio::level(kInputPins[i]))
      ++g_errors[kEdgeLevel];
  stop_reading.store(true);
  threads[0].join();

  print_figures(out, "end", std::chrono::duration<double>(Clock::now() - begin).count(), last,
                true);
  kiv::KivIo::close_io();
  const soak::ProcessFigures closed = soak::process_figures();
  std::fprintf(out, "  after close_io: resident %ld KiB, descriptors %d, threads %d\n",
               closed.rss_kib, closed.descriptors, closed.threads);

  bool failed = false;
  for (const Direction* d : g_directions)
    failed |= d->lost() != 0 || d->checker.corrupt.load() != 0 || d->checker.missing.load() != 0 ||
              d->write_errors.load() != 0;
  for (const auto& e : g_errors)
    failed |= e.load() != 0;
  bool grew = last.descriptors > start.descriptors || last.threads > start.threads;
#ifndef KIV_SOAK_NO_MEMORY_BOUND
  grew |= last.rss_kib - start.rss_kib > rss_slack_kib;
#else
  (void)rss_slack_kib;
#endif
  std::fprintf(out, "soak: %s%s\n", failed ? "LOST OR FAILED" : "nothing lost",
               grew ? ", RESOURCES GREW" : ", nothing grew");
  std::fclose(out);
  close(peer1);
  close(peer2);
  return failed || grew ? 1 : 0;
}
