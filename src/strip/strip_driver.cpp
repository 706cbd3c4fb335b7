// SPDX-License-Identifier: MIT
// The strip's driver life cycle and fills. One small lock keeps a fill off a
// strip that is being started or released on another thread (a status colour
// set from an input callback while close_io runs): rpi_ws281x touches freed
// driver state otherwise.
#include <cstdio>
#include <mutex>

#include "kiv_strip.h"
#include "strip/strip_messages.h"
#include "strip/strip_state.h"

namespace {

constexpr int kStripChannel = 1;
constexpr int kPaletteSize = sizeof dotcolors / sizeof dotcolors[0];

std::mutex g_lock;
// Guarded by g_lock: whether ws2811_init succeeded and no ws2811_fini
// followed, and the length of the LED buffer that the library allocated then
// (the exported record's count may have been changed since).
bool g_running = false;
int g_led_capacity = 0;

// Releases a running strip; g_lock held.
void release_locked() {
  if (!g_running)
    return;
  ws2811_fini(&ledstring);
  g_running = false;
  g_led_capacity = 0;
}

// Stores `word` over the grid and renders. Returns -1 when the strip is not
// running. The grid is read once, atomically, since the application may
// change it from another thread; positions past the buffer are skipped.
int fill(ws2811_led_t word) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_running)
    return -1;
  const long long columns = __atomic_load_n(&width, __ATOMIC_RELAXED);
  const long long rows = __atomic_load_n(&height, __ATOMIC_RELAXED);
  ws2811_led_t* leds = ledstring.channel[kStripChannel].leds;
  for (long long x = 0; x < columns && x < g_led_capacity; ++x)
    for (long long y = 0; y < rows && y * columns + x < g_led_capacity; ++y)
      leds[y * columns + x] = word;
  // A failed render is not reported: the next fill sends the whole strip again.
  ws2811_render(&ledstring);
  return 0;
}

}  // namespace

extern "C" {

int light_ws2811_init(void) {
  std::lock_guard<std::mutex> lock(g_lock);
  // Starting over live driver state would leak its buffers and mappings.
  release_locked();
  ws2811_return_t result = ws2811_init(&ledstring);
  if (result != WS2811_SUCCESS) {
    std::fprintf(stderr, kiv::strip_msg::kInitFailed, ws2811_get_return_t_str(result));
    return result;
  }
  g_running = true;
  g_led_capacity = ledstring.channel[kStripChannel].count;
  return result;
}

int light_ws2811_color(int index) {
  if (index < 0 || index >= kPaletteSize)
    return -1;
  return fill(__atomic_load_n(&dotcolors[index], __ATOMIC_RELAXED));
}

int light_ws2811_rgb(uint8_t blue, uint8_t green, uint8_t red) {
  // Only the low 8 bits count, whatever the caller's registers held.
  const ws2811_led_t word = (red & 0xFFu) << 16 | (green & 0xFFu) << 8 | (blue & 0xFFu);
  return fill(word);
}

int light_ws2811_deinit(void) {
  std::lock_guard<std::mutex> lock(g_lock);
  release_locked();
  return 0;
}

}  // extern "C"

bool kiv::strip_running() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_running;
}
