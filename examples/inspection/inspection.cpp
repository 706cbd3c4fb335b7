// SPDX-License-Identifier: MIT
// kiv_inspection: what an application of the device looks like, a small
// inspection cycle. Each rising edge on the trigger line starts one cycle:
// light on, lens set to its focus, strip green while the workpiece is inspected,
// light off and the result on com1 ("OK <n>\r\n"). A fault (the lens does not
// take its value, the light controller cannot be written, or it sends its
// hardware notification) sets the alarm, turns the strip red and sends
// "FAULT <n> <what>\r\n" instead. "READY\r\n" on com1 says it waits for
// triggers; the strip is blue then.
//
// Usage: kiv_inspection [CYCLES] [LATE_MS]   (default 2 cycles, 0 ms)
// LATE_MS makes a deliberately slow variant: each cycle starts that long after
// its trigger, so that a scenario's cycle times can be seen to fail.
// Exit status 0 when every cycle passed, 1 when one had a fault.
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "kiv_io.h"

namespace {

constexpr int kFocus = 1200;              // the lens value parts are inspected at
constexpr unsigned kInspectUs = 1000000;  // how long the light stays on
constexpr unsigned char kBlue = 1, kGreen = 2, kRed = 3;

// What the interrupt and reader threads hand the main thread.
std::mutex g_mutex;
std::condition_variable g_wake;
int g_triggers = 0;
bool g_light_fault = false;

// Runs on the GPIO library's interrupt thread of the trigger line.
void on_trigger(int level) {
  if (level != 1)
    return;
  std::lock_guard<std::mutex> lock(g_mutex);
  ++g_triggers;
  g_wake.notify_one();
}

// Runs on the reader thread of com2: the light controller reports a fault.
void on_hardware() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_light_fault = true;
  g_wake.notify_one();
}

void send_result(kiv::KivIo* io, const std::string& text) {
  std::string line = text + "\r\n";
  std::printf("[inspection] %s\n", text.c_str());
  std::fflush(stdout);
  io->writeAMA1(&line[0], static_cast<int>(line.size()));
}

void fault(kiv::KivIo* io, int cycle, const char* what) {
  io->close_light();
  io->openAlarm();
  io->setRgbLight(kRed);
  send_result(io, "FAULT " + std::to_string(cycle) + " " + what);
}

// One cycle; false when it had a fault.
bool inspect(kiv::KivIo* io, int cycle, unsigned late_ms) {
  usleep(late_ms * 1000);
  if (io->open_light() != 0) {
    fault(io, cycle, "light");
    return false;
  }
  if (io->setLiquid(kFocus) != 0) {
    fault(io, cycle, "lens");
    return false;
  }
  io->setRgbLight(kGreen);
  usleep(kInspectUs);
  io->close_light();
  send_result(io, "OK " + std::to_string(cycle));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int cycles = argc > 1 ? std::atoi(argv[1]) : 2;
  if (cycles <= 0)
    cycles = 2;
  const int late_ms = argc > 2 ? std::atoi(argv[2]) : 0;
  kiv::KivIo* io = kiv::KivIo::getInstance();
  io->setup();
  io->registerTrigger(on_trigger);
  io->registerHardware(on_hardware);
  io->setRgbLight(kBlue);
  send_result(io, "READY");

  bool all_passed = true;
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    bool light_fault = false;
    {
      std::unique_lock<std::mutex> lock(g_mutex);
      g_wake.wait(lock, [] { return g_triggers > 0 || g_light_fault; });
      light_fault = g_light_fault;
      g_light_fault = false;
      if (!light_fault)
        --g_triggers;
    }
    bool passed = light_fault
                      ? (fault(io, cycle, "light controller"), false)
                      : inspect(io, cycle, static_cast<unsigned>(late_ms > 0 ? late_ms : 0));
    all_passed = all_passed && passed;
  }
  // Closing the ports lets the last result leave the line first.
  kiv::KivIo::close_io();
  return all_passed ? 0 : 1;
}
