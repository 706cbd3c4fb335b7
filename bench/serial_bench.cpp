// SPDX-License-Identifier: MIT
// Serial port service figures, each beside a reference measured in turns in
// the same run:
//   - closing an idle port (its reader waiting in poll), beside a thread
//     polling an eventfd that is signalled and joined;
//   - a byte from the peer's write to the read callback (string and data
//     forms), beside a raw poll/read thread on another pseudo-terminal pair
//     fed by the same writer;
//   - an uncontended 5-byte write, beside write(2) of the same bytes;
// and, without a reference, the wake-ups per second of an idle reader whose
// peer is live and silent, and the CPU its reader uses once the peer hung up.
// Runs in the simulated board's sandbox (pseudo-terminals on /dev/com1...).
// "--short" takes a few samples only.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/types.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "figures.h"
#include "kiv_serial.h"
#include "sandbox.h"

namespace {

using Clock = std::chrono::steady_clock;
std::atomic<int64_t> g_received_at{0};

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

// The reference close: a thread polling an eventfd with the reader's 500 ms
// time-out, signalled and joined.
double reference_close_ns() {
  const int wake = eventfd(0, EFD_CLOEXEC);
  std::thread waiter([wake] {
    pollfd p{wake, POLLIN, 0};
    while (poll(&p, 1, 500) == 0) {
    }
  });
  usleep(20000);
  const auto start = Clock::now();
  (void)eventfd_write(wake, 1);
  waiter.join();
  const double ns = since_ns(start);
  close(wake);
  return ns;
}

double library_close_ns(char* path) {
  if (SerialPortInit(path, 115200) != 0)
    return -1;
  usleep(20000);
  const auto start = Clock::now();
  SerialPortFree(0);
  return since_ns(start);
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
  const int rounds = quick ? 3 : 40;
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

  bench::Pair close_pair = {"SerialPortFree, idle port", "eventfd thread, signalled and joined",
                            [&] { return library_close_ns(com1); }, reference_close_ns, 1};
  const bench::Figures close_figures = bench::measure(close_pair, rounds);

  if (SerialPortInit(com1, 115200) != 0)
    return 1;
  bench::Figures string_figures, data_figures;
  bench::Pair string_pair, data_pair;
  {
    RawReceiver reference(raw_line);
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
    string_figures = bench::measure(string_pair, rounds * 5);
    data_figures = bench::measure(data_pair, rounds * 5);
  }
  SetReadSerialPortDataCallback(nullptr, nullptr, 0);
  for (pollfd p{raw_line, POLLIN, 0}; poll(&p, 1, 0) > 0;) {
    char rest[64];
    if (read(raw_line, rest, sizeof rest) <= 0)
      break;
  }

  // A 5-byte frame written while the peers drain their lines.
  std::atomic<bool> draining{true};
  std::thread drain([&] {
    pollfd fds[2] = {{peer, POLLIN, 0}, {raw_peer, POLLIN, 0}};
    char sink[4096];
    while (draining.load()) {
      if (poll(fds, 2, 10) <= 0)
        continue;
      for (const pollfd& p : fds)
        if (p.revents & POLLIN)
          (void)read(p.fd, sink, sizeof sink);
    }
  });
  char frame[] = {'1', '-', '1', '\r', '\n'};
  const int ops = quick ? 20 : 200;
  bench::Pair write_pair = {
      "5-byte WriteSerialPort", "write(2) of the same 5 bytes",
      [&] { return bench::per_op_ns(ops, [&] { WriteSerialPort(frame, sizeof frame, 0); }); },
      [&] { return bench::per_op_ns(ops, [&] { (void)!write(raw_line, frame, sizeof frame); }); },
      ops};
  const bench::Figures write_figures = bench::measure(write_pair, rounds);
  draining.store(false);
  drain.join();
  SerialPortFree(0);

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

  bench::print_head("Serial ports", rounds);
  bench::print_row(close_pair, close_figures);
  bench::print_row(string_pair, string_figures);
  bench::print_row(data_pair, data_figures);
  bench::print_row(write_pair, write_figures);
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
