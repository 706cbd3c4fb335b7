// SPDX-License-Identifier: MIT
// Simulated strip: what the rpi_ws281x stand-in records. Internal.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ws2811.h"
#include "ws2811_sim.h"

namespace kivsim {
namespace strip {
namespace detail {

struct StripState {
  std::mutex mutex;
  bool init_result_set = false;  // set_init_result was called
  int init_result = 0;
  Counts counts;
  ConfigSeen last_init;
  std::vector<Render> renders;
  int running = 0;
  int rendering = 0;  // renders in progress, on any thread
  std::vector<std::string> faults;
};

// The record. Never destroyed, so calls made during exit find it intact.
StripState& state();

// The configuration of `ws` as a call sees it.
ConfigSeen config_of(const ws2811_t& ws);

// Records and prints a fault that the board survives; state mutex held.
void fault(StripState& s, const std::string& what);
// Prints a call the board does not survive and ends the process, as it would.
[[noreturn]] void crash(const char* call, const char* why);

}  // namespace detail
}  // namespace strip
}  // namespace kivsim
