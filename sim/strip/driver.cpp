// SPDX-License-Identifier: MIT
// rpi_ws281x stand-in: the library's functions over the simulated strip.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "remote.h"
#include "strip_state.h"
#include "ws2811.h"

// The driver state the real library keeps behind ws2811_t::device.
struct ws2811_device {
  int serial;
};

namespace kivsim {
namespace strip {
namespace detail {
namespace {

// Past this many renders the older half goes: a simulator may run for hours.
constexpr size_t kRenderLimit = 100000;
// Words after each LED buffer that hold a pattern: a caller that stores past
// its LEDs corrupts the heap on the board; here the next call notices.
constexpr int kGuardWords = 16;
constexpr ws2811_led_t kGuard = 0x5A5AA5A5;

ws2811_led_t* new_leds(int count) {
  int n = count > 0 ? count : 0;
  auto* leds = static_cast<ws2811_led_t*>(std::calloc(static_cast<size_t>(n + kGuardWords), 4));
  for (int i = 0; i < kGuardWords; ++i)
    leds[n + i] = kGuard;
  return leds;
}

void check_guards(const ws2811_t& ws, const char* call) {
  for (const ws2811_channel_t& ch : ws.channel) {
    if (!ch.leds)
      continue;
    int n = ch.count > 0 ? ch.count : 0;
    for (int i = 0; i < kGuardWords; ++i)
      if (ch.leds[n + i] != kGuard)
        crash(call, "an LED buffer written past its end");
  }
}

// The pins each channel's PWM output reaches (0: channel not used). Channel
// 0 also takes the PCM and SPI pins.
bool pin_possible(int channel, int gpionum) {
  if (gpionum == 0)
    return true;
  if (channel == 0)
    return gpionum == 12 || gpionum == 18 || gpionum == 21 || gpionum == 10;
  return gpionum == 13 || gpionum == 19;
}

int chosen_init_result(StripState& s) {
  if (s.init_result_set)
    return s.init_result;
  const char* text = std::getenv("KIV_SIM_STRIP_INIT_RESULT");
  return text && *text ? std::atoi(text) : 0;
}

// The channel whose LEDs a report describes.
const ws2811_channel_t& shown_channel(const ws2811_t& ws) {
  return ws.channel[1].count > 0 ? ws.channel[1] : ws.channel[0];
}

void free_channels(ws2811_t* ws) {
  for (ws2811_channel_t& ch : ws->channel) {
    std::free(ch.leds);
    ch.leds = nullptr;
    std::free(ch.gamma);
    ch.gamma = nullptr;
  }
}

// The bytes one LED word puts on the wire, as the real library computes them.
int wire_bytes(const ws2811_channel_t& ch, ws2811_led_t led, uint8_t* out) {
  // A strip type of the caller's own may hold any shift; keep it in the word.
  const unsigned shifts[4] = {ch.rshift & 31u, ch.gshift & 31u, ch.bshift & 31u, ch.wshift & 31u};
  int n = (static_cast<uint32_t>(ch.strip_type) & SK6812_SHIFT_WMASK) ? 4 : 3;
  unsigned scale = ch.brightness + 1u;
  for (int i = 0; i < n; ++i) {
    unsigned c = (led >> shifts[i]) & 0xFF;
    out[i] = ch.gamma[(c * scale) >> 8];
  }
  return n;
}

// Records a render of every channel and reports the shown one's colours.
void record_render(StripState& s, const ws2811_t& ws) {
  Render r;
  r.config = config_of(ws);
  for (int c = 0; c < RPI_PWM_CHANNELS; ++c) {
    const ws2811_channel_t& ch = ws.channel[c];
    if (!ch.leds)
      continue;
    for (int i = 0; i < ch.count; ++i) {
      uint8_t bytes[4];
      int n = wire_bytes(ch, ch.leds[i], bytes);
      r.leds[c].push_back(ch.leds[i]);
      r.wire[c].insert(r.wire[c].end(), bytes, bytes + n);
    }
  }
  if (s.renders.size() >= kRenderLimit)
    s.renders.erase(s.renders.begin(), s.renders.begin() + kRenderLimit / 2);
  s.renders.push_back(std::move(r));
}

// Reports the colours the shown channel's LEDs show.
void report_shown(const ws2811_t& ws) {
  const ws2811_channel_t& ch = shown_channel(ws);
  uint32_t colours[link::kStripMaxLeds];
  const int count = std::min(ch.leds ? ch.count : 0, link::kStripMaxLeds);
  for (int i = 0; i < count; ++i) {
    uint8_t bytes[4];
    wire_bytes(ch, ch.leds[i], bytes);
    // A strip of this type takes the bytes back in the order of the shifts.
    uint32_t shown = static_cast<uint32_t>(bytes[0]) << (ch.rshift & 31u) |
                     static_cast<uint32_t>(bytes[1]) << (ch.gshift & 31u) |
                     static_cast<uint32_t>(bytes[2]) << (ch.bshift & 31u);
    colours[i] = shown & 0xFFFFFF;
  }
  report_render(colours, count);
}

}  // namespace
}  // namespace detail
}  // namespace strip
}  // namespace kivsim

using kivsim::strip::detail::crash;
using kivsim::strip::detail::state;
using kivsim::strip::detail::StripState;

extern "C" {

ws2811_return_t ws2811_init(ws2811_t* ws2811) {
  using namespace kivsim::strip::detail;
  remote_connect();
  StripState& s = state();
  int result = 0;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.counts.init;
    s.last_init = config_of(*ws2811);
    if (ws2811->device)
      fault(s, "ws2811_init over a running driver: its buffers and DMA memory leak");
    result = chosen_init_result(s);
    for (int c = 0; result == 0 && c < RPI_PWM_CHANNELS; ++c)
      if (!pin_possible(c, ws2811->channel[c].gpionum))
        result = WS2811_ERROR_ILLEGAL_GPIO;
    if (result == 0) {
      static int serial = 0;
      ws2811->device = static_cast<ws2811_device*>(std::calloc(1, sizeof(ws2811_device)));
      ws2811->device->serial = ++serial;
      for (ws2811_channel_t& ch : ws2811->channel) {
        ch.leds = new_leds(ch.count);
        if (!ch.strip_type)
          ch.strip_type = WS2811_STRIP_RGB;
        if (!ch.gamma) {
          ch.gamma = static_cast<uint8_t*>(std::malloc(256));
          for (int i = 0; i < 256; ++i)
            ch.gamma[i] = static_cast<uint8_t>(i);
        }
        unsigned type = static_cast<unsigned>(ch.strip_type);
        ch.wshift = static_cast<uint8_t>(type >> 24);
        ch.rshift = static_cast<uint8_t>(type >> 16);
        ch.gshift = static_cast<uint8_t>(type >> 8);
        ch.bshift = static_cast<uint8_t>(type);
      }
      // LED bits at 1.25 us each, and the 300 us reset that latches them.
      const ws2811_channel_t& ch = shown_channel(*ws2811);
      ws2811->render_wait_time = static_cast<uint64_t>(ch.count) * 24 * 5 / 4 + 300;
      ++s.running;
    } else {
      ws2811->device = nullptr;
    }
  }
  const ws2811_channel_t& ch = shown_channel(*ws2811);
  report_init({result, static_cast<long long>(ws2811->freq), ws2811->dmanum, ch.gpionum, ch.count,
               ch.strip_type, ch.brightness});
  return static_cast<ws2811_return_t>(result);
}

void ws2811_fini(ws2811_t* ws2811) {
  if (!ws2811->device)
    crash("ws2811_fini", "no driver state (never initialised, failed, or finished already)");
  kivsim::strip::detail::check_guards(*ws2811, "ws2811_fini");
  StripState& s = state();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.rendering > 0)
      crash("ws2811_fini", "a render still running on another thread");
    ++s.counts.fini;
    --s.running;
  }
  kivsim::strip::detail::free_channels(ws2811);
  std::free(ws2811->device);
  ws2811->device = nullptr;
  kivsim::strip::detail::report_fini();
}

ws2811_return_t ws2811_render(ws2811_t* ws2811) {
  if (!ws2811->device)
    crash("ws2811_render", "no driver state (never initialised, failed, or finished already)");
  kivsim::strip::detail::check_guards(*ws2811, "ws2811_render");
  StripState& s = state();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.rendering;
  }
  // The real render first waits out the previous transfer; a fini on another
  // thread meanwhile frees what it is about to send.
  usleep(static_cast<useconds_t>(ws2811->render_wait_time));
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    --s.rendering;
    if (!ws2811->device)
      crash("ws2811_render", "no driver state (released by another thread during the render)");
    ++s.counts.render;
    kivsim::strip::detail::record_render(s, *ws2811);
  }
  kivsim::strip::detail::report_shown(*ws2811);
  return WS2811_SUCCESS;
}

ws2811_return_t ws2811_wait(ws2811_t* ws2811) {
  if (!ws2811->device)
    crash("ws2811_wait", "no driver state (never initialised, failed, or finished already)");
  StripState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.counts.wait;
  return WS2811_SUCCESS;
}

const char* ws2811_get_return_t_str(const ws2811_return_t state) {
  static const char* const texts[] = {WS2811_RETURN_STATES(WS2811_RETURN_STATES_STRING)};
  // As the real library: "" below its table. Above it the real one reads past
  // the table; here it is "" too.
  int index = -static_cast<int>(state);
  if (index < 0 || index >= static_cast<int>(sizeof texts / sizeof texts[0]))
    return "";
  return texts[index];
}

void ws2811_set_custom_gamma_factor(ws2811_t* ws2811, double gamma_factor) {
  for (ws2811_channel_t& ch : ws2811->channel) {
    if (!ch.gamma)
      continue;  // nothing before ws2811_init
    for (int i = 0; i < 256; ++i) {
      double v = gamma_factor > 0 ? std::pow(i / 255.0, gamma_factor) * 255.0 + 0.5 : i;
      ch.gamma[i] = static_cast<uint8_t>(v);
    }
  }
}

}  // extern "C"
