// SPDX-License-Identifier: MIT
// Simulated board: control of the rpi_ws281x stand-in, for tests and
// simulators in the same process. Everything here may be called from any
// thread.
//
// ws2811_init succeeds as on a supported board (each channel gets a zeroed
// buffer of `count` words and the identity gamma table), or fails with the
// result chosen here; like the real library it refuses a pin that the
// channel's PWM cannot drive with -11. Every render is recorded with the
// configuration it saw and each channel's words, as filled and as sent.
//
// A render takes the strip's transfer time (render_wait_time, about 0.6 ms
// for nine LEDs), as the real one waits out the previous transfer.
//
// Calls that crash the process on the board (ws2811_fini, ws2811_render or
// ws2811_wait without a successful ws2811_init: before it, after a failed one,
// after ws2811_fini; ws2811_fini while another thread renders; a render after
// a store past the end of an LED buffer) abort the process with a "FAULT"
// line on standard error.
// ws2811_init over a running driver, which leaks its buffers on the board, is
// recorded as a fault and printed.
//
// From another process: when KIV_SIM_STRIP_SOCKET names a Unix stream socket,
// the first ws2811_init connects to it and every call is reported there as a
// text line (see remote.h). KIV_SIM_STRIP_INIT_RESULT, when set, gives the
// result of ws2811_init (for example -3, a board the library does not know)
// until set_init_result says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kivsim {
namespace strip {

// One channel's configuration as a call saw it.
struct ChannelSeen {
  int gpionum = 0;
  int invert = 0;
  int count = 0;
  int strip_type = 0;
  int brightness = 0;
  bool operator==(const ChannelSeen& o) const {
    return gpionum == o.gpionum && invert == o.invert && count == o.count &&
           strip_type == o.strip_type && brightness == o.brightness;
  }
};

// The strip configuration as a call saw it (strip types before ws2811_init
// fills in a default).
struct ConfigSeen {
  uint32_t freq = 0;
  int dmanum = 0;
  ChannelSeen channel[2];
  bool operator==(const ConfigSeen& o) const {
    return freq == o.freq && dmanum == o.dmanum && channel[0] == o.channel[0] &&
           channel[1] == o.channel[1];
  }
};

// One ws2811_render: each channel's buffer as the caller filled it (0xWWRRGGBB
// words) and the bytes sent to its strip, in wire order, after brightness and
// gamma.
struct Render {
  ConfigSeen config;
  std::vector<uint32_t> leds[2];
  std::vector<uint8_t> wire[2];
};

// Calls made so far.
struct Counts {
  int init = 0;  // every ws2811_init, failed ones too
  int render = 0;
  int fini = 0;
  int wait = 0;
};

// The result of the next ws2811_init calls: 0 for a supported board, or one
// of the library's codes (-3 "Hardware revision is not supported", ...).
void set_init_result(int code);

Counts counts();
// The configuration handed to the last ws2811_init.
ConfigSeen last_init_config();
// Every render so far, oldest first (past a hundred thousand, the older half
// is dropped).
std::vector<Render> renders();
// Drivers started and not yet finished.
int running_drivers();
// Forgets the calls, renders and faults.
void clear();

// Faults that did not end the process (ws2811_init over a running driver).
int fault_count();
std::vector<std::string> faults();

}  // namespace strip
}  // namespace kivsim
