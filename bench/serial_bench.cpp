// SPDX-License-Identifier: MIT
// Serial port service figures: how long SerialPortFree takes on an idle port,
// how long a byte takes from the peer's write to the read callback (string
// and data callbacks, in alternating blocks of the same run, so that both meet
// the same machine load), and how long an uncontended 5-byte write takes on a
// line whose peer keeps reading.
// Runs in the simulated board's sandbox (pseudo-terminals on /dev/com1).
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "kiv_serial.h"
#include "sandbox.h"

namespace {

using Clock = std::chrono::steady_clock;
std::atomic<int64_t> g_received_at{0};

void on_chunk(char*) {
  g_received_at.store(Clock::now().time_since_epoch().count());
}
void on_data(const unsigned char*, int, void*) {
  g_received_at.store(Clock::now().time_since_epoch().count());
}

// One peer write of a byte until the callback has it, in microseconds; -1
// when the write fails.
double one_byte_latency(int peer) {
  g_received_at.store(0);
  auto start = Clock::now();
  if (write(peer, "x", 1) != 1)
    return -1;
  while (g_received_at.load() == 0) {
  }
  auto got = Clock::time_point(Clock::duration(g_received_at.load()));
  return std::chrono::duration<double, std::micro>(got - start).count();
}

double median(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  return us[us.size() / 2];
}

void print_figures(const char* what, std::vector<double> us) {
  std::sort(us.begin(), us.end());
  auto at = [&](double q) {
    return us[static_cast<size_t>(q * static_cast<double>(us.size() - 1))];
  };
  std::printf("%-36s n=%-4zu  median %9.2f us  p90 %9.2f us  max %9.2f us\n", what, us.size(),
              at(0.5), at(0.9), us.back());
}

}  // namespace

int main() {
  std::string reason = kivsim::Sandbox::enter();
  if (!reason.empty()) {
    std::fprintf(stderr, "serial_bench: %s\n", reason.c_str());
    return 77;
  }
  char com1[] = "/dev/com1";
  const int peer = kivsim::Sandbox::add_port(com1);
  if (peer < 0)
    return 1;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  // Close of an idle port: the reader is waiting in poll.
  std::vector<double> close_us;
  for (int i = 0; i < 50; ++i) {
    if (SerialPortInit(com1, 115200) != 0)
      return 1;
    usleep(20000);
    auto start = Clock::now();
    SerialPortFree(0);
    close_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }

  // Peer write to callback: blocks of 25 bytes through each form in turn.
  if (SerialPortInit(com1, 115200) != 0)
    return 1;
  std::vector<double> latency_us, data_latency_us;
  for (int block = 0; block < 40; ++block) {
    const bool data_form = block % 2 == 1;
    if (data_form)
      SetReadSerialPortDataCallback(on_data, nullptr, 0);
    else
      svSetSerialReadCallback(on_chunk, 0);
    for (int i = 0; i < 25; ++i) {
      const double us = one_byte_latency(peer);
      if (us < 0)
        return 1;
      (data_form ? data_latency_us : latency_us).push_back(us);
      usleep(1000);
    }
  }

  // A 5-byte frame written by one thread while the peer drains the line.
  std::atomic<bool> draining{true};
  std::thread drain([&] {
    char sink[4096];
    while (draining.load()) {
      pollfd p{peer, POLLIN, 0};
      if (poll(&p, 1, 10) > 0 && read(peer, sink, sizeof sink) < 0)
        break;
    }
  });
  char frame[] = {'1', '-', '1', '\r', '\n'};
  std::vector<double> write_us;
  for (int i = 0; i < 2000; ++i) {
    auto start = Clock::now();
    if (WriteSerialPort(frame, sizeof frame, 0) != 0)
      return 1;
    write_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (i % 50 == 49)
      usleep(2000);  // lets the peer catch up, so the line never fills
  }
  draining.store(false);
  drain.join();
  SerialPortFree(0);

  print_figures("SerialPortFree on an idle port", close_us);
  print_figures("peer write -> read callback", latency_us);
  print_figures("peer write -> data read callback", data_latency_us);
  std::printf("data callback median / string callback median: %.3f\n",
              median(data_latency_us) / median(latency_us));
  print_figures("5-byte WriteSerialPort, uncontended", write_us);
  return 0;
}
