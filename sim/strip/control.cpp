// SPDX-License-Identifier: MIT
// rpi_ws281x stand-in: the record behind the control interface.
#include <cstdio>
#include <cstdlib>

#include "remote.h"
#include "strip_state.h"
#include "ws2811_sim.h"

namespace kivsim {
namespace strip {
namespace detail {

StripState& state() {
  static StripState* s = new StripState;
  return *s;
}

ConfigSeen config_of(const ws2811_t& ws) {
  ConfigSeen c;
  c.freq = ws.freq;
  c.dmanum = ws.dmanum;
  for (int i = 0; i < RPI_PWM_CHANNELS; ++i) {
    const ws2811_channel_t& ch = ws.channel[i];
    c.channel[i] = ChannelSeen{ch.gpionum, ch.invert, ch.count, ch.strip_type, ch.brightness};
  }
  return c;
}

void fault(StripState& s, const std::string& what) {
  s.faults.push_back(what);
  std::fprintf(stderr, "[ws2811 stand-in] FAULT: %s\n", what.c_str());
  report_fault(what);
}

void crash(const char* call, const char* why) {
  std::fprintf(stderr,
               "[ws2811 stand-in] FAULT: %s with %s: the real library crashes here; "
               "ending the process\n",
               call, why);
  report_fault(std::string(call) + " with " + why);
  // The launcher learns why the program ended before it does.
  remote_stop();
  std::abort();
}

}  // namespace detail

using detail::state;
using detail::StripState;

void set_init_result(int code) {
  StripState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.init_result_set = true;
  s.init_result = code;
}

Counts counts() {
  StripState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.counts;
}

ConfigSeen last_init_config() {
  StripState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.last_init;
}

std::vector<Render> renders() {
  StripState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.renders;
}

int running_drivers() {
  StripState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.running;
}

void clear() {
  StripState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.counts = Counts{};
  s.renders.clear();
  s.faults.clear();
}

int fault_count() {
  StripState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return static_cast<int>(s.faults.size());
}

std::vector<std::string> faults() {
  StripState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.faults;
}

}  // namespace strip
}  // namespace kivsim
