// SPDX-License-Identifier: MIT
// Serial port service figures, each beside a reference measured in turns in
// the same run:
//   - closing an idle port (its reader waiting in poll), beside a thread
//     polling an eventfd that is signalled and joined;
//   - a byte from the peer's write to the read callback (string and data
//     forms), beside a raw poll/read thread on another pseudo-terminal pair
//     fed by the same writer;
//   - an uncontended 5-byte write, beside write(2) of the same bytes, timed
//     in batches of thousands;
// and, without a reference, the wake-ups per second of an idle reader whose
// peer is live and silent, and the CPU its reader uses once the peer hung up.
// Each figure is taken in rounds, and the least and greatest of the rounds'
// ratios are printed under it, so a reader sees how far the ratio moves in
// one run.
// Runs in the simulated board's sandbox (pseudo-terminals on /dev/com1...).
// "--short" takes a few samples only.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/types.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "figures.h"
#include "kiv_serial.h"
#include "quiet_stdout.h"
#include "sandbox.h"

namespace {

using Clock = std::chrono::steady_clock;
std::atomic<int64_t> g_received_at{0};

// Where the threads run: the measuring thread on one CPU, and the threads it
// wakes (the library's reader, the references' threads) on another, so that
// every wake-up crosses to a CPU that waits. Left to the scheduler, a reader
// at times shares the measuring thread's CPU, and its wake-up is then a
// preemption of a few microseconds instead of an idle CPU's tens: which of
// the two each side happened to meet would decide the ratio. A thread takes
// the CPUs of the thread that starts it, so threads are started from the
// waking CPU. With a single CPU nothing is pinned.
class Cpus {
 public:
  Cpus() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
      return;
    for (int cpu = 0; cpu < CPU_SETSIZE && woken_ < 0; ++cpu) {
      if (!CPU_ISSET(cpu, &allowed))
        continue;
      if (measuring_ < 0)
        measuring_ = cpu;
      else
        woken_ = cpu;
    }
  }
  void measure_here() const { pin(measuring_); }
  // Runs `start` (which starts threads) on the waking CPU, then returns to
  // the measuring one.
  template <typename Start>
  auto start_woken(Start start) const {
    pin(woken_);
    auto result = start();
    pin(measuring_);
    return result;
  }

 private:
  void pin(int cpu) const {
    if (cpu < 0 || woken_ < 0)
      return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    (void)sched_setaffinity(0, sizeof one, &one);
  }
  int measuring_ = -1;
  int woken_ = -1;
};
const Cpus g_cpus;

int64_t now_ticks() {
  return Clock::now().time_since_epoch().count();
}
void on_chunk(char*) {
  g_received_at.store(now_ticks());
}
void on_data(const unsigned char*, int, void*) {
  g_received_at.store(now_ticks());
}

double since_ns(Clock::time_point start) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// One byte written by the peer until a receiver has it, in nanoseconds; -1
// when the write fails or nothing arrives within a second.
double one_byte_latency(int peer) {
  g_received_at.store(0);
  const int64_t start = now_ticks();
  if (write(peer, "x", 1) != 1)
    return -1;
  const auto give_up = Clock::now() + std::chrono::seconds(1);
  while (g_received_at.load() == 0)
    if (Clock::now() > give_up)
      return -1;
  const double ns =
      std::chrono::duration<double, std::nano>(Clock::duration(g_received_at.load() - start))
          .count();
  usleep(1000);
  return ns;
}

// The reference receiver: a thread in poll on the slave of another pair,
// reading what arrives and noting the time, as a reader without the library.
class RawReceiver {
 public:
  explicit RawReceiver(int fd) : fd_(fd), stop_(eventfd(0, EFD_CLOEXEC)) {
    thread_ = std::thread([this] { run(); });
  }
  ~RawReceiver() {
    (void)eventfd_write(stop_, 1);
    thread_.join();
    close(stop_);
  }

 private:
  void run() {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
    char buf[1024];
    for (;;) {
      if (poll(fds, 2, 500) <= 0)
        continue;
      if (fds[1].revents)
        return;
      if (read(fd_, buf, sizeof buf) > 0)
        g_received_at.store(now_ticks());
    }
  }
  int fd_;
  int stop_;
  std::thread thread_;
};

// How long a started reader is left before the close: time enough to be
// waiting in poll, on a CPU gone idle.
constexpr useconds_t kSettleUs = 5000;

// The reference close: a thread polling an eventfd with the reader's 500 ms
// time-out, signalled and joined.
double reference_close_ns() {
  const int wake = eventfd(0, EFD_CLOEXEC);
  std::thread waiter = g_cpus.start_woken([wake] {
    return std::thread([wake] {
      pollfd p{wake, POLLIN, 0};
      while (poll(&p, 1, 500) == 0) {
      }
    });
  });
  usleep(kSettleUs);
  const auto start = Clock::now();
  (void)eventfd_write(wake, 1);
  waiter.join();
  const double ns = since_ns(start);
  close(wake);
  return ns;
}

double library_close_ns(char* path) {
  if (g_cpus.start_woken([path] { return SerialPortInit(path, 115200); }) != 0)
    return -1;
  usleep(kSettleUs);
  const auto start = Clock::now();
  SerialPortFree(0);
  return since_ns(start);
}

// Reads `bytes` from a line's peer side, as they arrive: what a batch of
// writes put on the line. False when they do not all come within a second.
bool drain(int peer, long bytes) {
  char sink[4096];
  const auto give_up = Clock::now() + std::chrono::seconds(1);
  while (bytes > 0) {
    pollfd p{peer, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      const ssize_t n = read(peer, sink, sizeof sink);
      if (n > 0)
        bytes -= n;
      else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        return false;
    }
    if (Clock::now() > give_up)
      return false;
  }
  return true;
}

// A line of the sandbox holds some 16 KB before a write waits for room: a
// batch of writes goes in chunks of this many 5-byte frames, so that the
// line never fills.
constexpr int kChunk = 1000;

// `ops` calls of `write_frame` (true when its 5 bytes were written), in
// chunks each timed on its own, with the peer's side read empty between
// chunks and outside the time: the writer meets no reader on the line and
// never waits for room. Nanoseconds per call, or -1 when a write or the
// drain fails.
template <typename Write>
double batched_writes_ns(int ops, int peer, Write write_frame) {
  double ns = 0;
  for (int done = 0; done < ops;) {
    const int chunk = std::min(kChunk, ops - done);
    bool written = true;
    const auto start = Clock::now();
    for (int i = 0; i < chunk; ++i)
      written = write_frame() && written;
    ns += since_ns(start);
    if (!written || !drain(peer, 5L * chunk))
      return -1;
    done += chunk;
  }
  return ns / ops;
}

// Writes per sample: whole chunks, as many as make a sample of `write_frame`
// take about `target_ns` (at least one chunk, at most 50).
template <typename Write>
int writes_per_sample(double target_ns, int peer, Write write_frame) {
  std::vector<double> chunk_ns;
  for (int i = 0; i < 5; ++i)
    chunk_ns.push_back(batched_writes_ns(kChunk, peer, write_frame) * kChunk);
  const double per_chunk = bench::median(chunk_ns);
  if (per_chunk <= 0)
    return kChunk;
  return kChunk * std::clamp(static_cast<int>(std::ceil(target_ns / per_chunk)), 1, 50);
}

std::set<pid_t> threads() {
  std::set<pid_t> ids;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.')
        ids.insert(static_cast<pid_t>(std::atoi(entry->d_name)));
    closedir(dir);
  }
  return ids;
}

// A thread's context switches (its wake-ups) and CPU time, from /proc.
struct ThreadUse {
  long switches = 0;
  double cpu_ns = 0;
};
ThreadUse thread_use(pid_t tid) {
  ThreadUse use;
  const std::string dir = "/proc/self/task/" + std::to_string(tid);
  std::ifstream status(dir + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
        line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
      use.switches += std::stol(line.substr(line.find(':') + 1));
  }
  std::ifstream schedstat(dir + "/schedstat");
  schedstat >> use.cpu_ns;
  return use;
}

// The thread a port's open started: the one present after it and not before.
pid_t new_thread(const std::set<pid_t>& before) {
  for (pid_t tid : threads())
    if (!before.count(tid))
      return tid;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  // Samples per round: the close takes some 5 ms each (the reader must be
  // in poll first), a byte's latency 1 ms, a batch of writes about 2 ms.
  const int rounds = quick ? 2 : 5;
  const int close_samples = quick ? 3 : 120;
  const int latency_samples = quick ? 15 : 200;
  const int write_samples = quick ? 3 : 100;
  std::string reason = kivsim::Sandbox::enter();
  if (!reason.empty()) {
    std::fprintf(stderr, "serial_bench: %s\n", reason.c_str());
    return 77;
  }
  char com1[] = "/dev/com1";
  char com2[] = "/dev/com2";
  const int peer = kivsim::Sandbox::add_port(com1);
  int peer2 = kivsim::Sandbox::add_port(com2);
  const int raw_peer = kivsim::Sandbox::add_port("/dev/com3");
  if (peer < 0 || peer2 < 0 || raw_peer < 0)
    return 1;
  const int raw_line = open("/dev/com3", O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios raw{};
  if (raw_line < 0 || tcgetattr(raw_line, &raw) != 0)
    return 1;
  cfmakeraw(&raw);
  tcsetattr(raw_line, TCSANOW, &raw);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  bench::Figures close_figures, string_figures, data_figures, write_figures;
  bench::Pair string_pair, data_pair, write_pair;
  bench::Pair close_pair = {"SerialPortFree, idle port", "eventfd thread, signalled and joined",
                            [&] { return library_close_ns(com1); }, reference_close_ns, 1};
  int writes = 0;
  g_cpus.measure_here();
  {
    bench::QuietStdout quiet;
    close_figures = bench::measure_rounds(close_pair, rounds, close_samples);

    if (g_cpus.start_woken([&] { return SerialPortInit(com1, 115200); }) != 0)
      return 1;
    {
      const std::unique_ptr<RawReceiver> reference =
          g_cpus.start_woken([&] { return std::make_unique<RawReceiver>(raw_line); });
      auto raw_sample = [&] { return one_byte_latency(raw_peer); };
      string_pair = {"peer byte -> read callback", "raw poll/read thread",
                     [&] {
                       svSetSerialReadCallback(on_chunk, 0);
                       return one_byte_latency(peer);
                     },
                     raw_sample, 1};
      data_pair = {"peer byte -> data read callback", "raw poll/read thread",
                   [&] {
                     SetReadSerialPortDataCallback(on_data, nullptr, 0);
                     return one_byte_latency(peer);
                   },
                   raw_sample, 1};
      string_figures = bench::measure_rounds(string_pair, rounds, latency_samples);
      data_figures = bench::measure_rounds(data_pair, rounds, latency_samples);
    }
    SetReadSerialPortDataCallback(nullptr, nullptr, 0);
    for (pollfd p{raw_line, POLLIN, 0}; poll(&p, 1, 0) > 0;) {
      char rest[64];
      if (read(raw_line, rest, sizeof rest) <= 0)
        break;
    }

    // A 5-byte frame, written in batches of the same size on both sides:
    // as many as the reference writes in about 2 ms.
    char frame[] = {'1', '-', '1', '\r', '\n'};
    auto library_write = [&] { return WriteSerialPort(frame, sizeof frame, 0) == 0; };
    auto reference_write = [&] {
      return write(raw_line, frame, sizeof frame) == static_cast<ssize_t>(sizeof frame);
    };
    writes = quick ? 100 : writes_per_sample(2e6, raw_peer, reference_write);
    write_pair = {"5-byte WriteSerialPort", "write(2) of the same 5 bytes",
                  [&] { return batched_writes_ns(writes, peer, library_write); },
                  [&] { return batched_writes_ns(writes, raw_peer, reference_write); }, writes};
    write_figures = bench::measure_rounds(write_pair, rounds, write_samples);
    SerialPortFree(0);
  }

  // An idle reader: a live peer that sends nothing, then one that hung up.
  const double seconds = quick ? 1.0 : 5.0;
  const std::set<pid_t> before = threads();
  if (SerialPortInit(com2, 115200) != 0)
    return 1;
  const pid_t reader = new_thread(before);
  usleep(100000);
  const ThreadUse idle_start = thread_use(reader);
  usleep(static_cast<useconds_t>(seconds * 1e6));
  const ThreadUse idle_end = thread_use(reader);
  close(peer2);
  peer2 = -1;
  usleep(100000);
  const ThreadUse hung_start = thread_use(reader);
  usleep(static_cast<useconds_t>(seconds * 1e6));
  const ThreadUse hung_end = thread_use(reader);
  SerialPortFree(0);

  bench::print_rounds_head("Serial ports");
  bench::print_row(close_pair, close_figures);
  bench::print_row(string_pair, string_figures);
  bench::print_row(data_pair, data_figures);
  bench::print_row(write_pair, write_figures);
  std::printf(
      "a write sample times %d writes (in chunks of %d, the peer read empty between "
      "chunks) and divides\n",
      writes, std::min(writes, kChunk));
  if (reader < 0) {
    std::printf("the reader thread was not found\n");
    return 1;
  }
  bench::print_value("idle reader wake-ups",
                     static_cast<double>(idle_end.switches - idle_start.switches) / seconds,
                     "per s", "a live, silent peer; its poll waits 500 ms");
  bench::print_value("reader CPU, peer hung up",
                     (hung_end.cpu_ns - hung_start.cpu_ns) / (seconds * 1e9) * 100, "% of a CPU",
                     "over " + std::to_string(static_cast<int>(seconds)) + " s");
  close(raw_line);
  return close_figures.failed || string_figures.failed || data_figures.failed ||
                 write_figures.failed
             ? 1
             : 0;
}
