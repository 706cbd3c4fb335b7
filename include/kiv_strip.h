// SPDX-License-Identifier: MIT
// kiv_io: the status strip of nine WS281x RGB LEDs on GPIO 19, driven through
// rpi_ws281x (PWM channel 1, DMA 10). Exported under plain (unmangled) names.
//
// A colour word is 0x00RRGGBB; the strip (WS2811_STRIP_GBR) receives each
// LED's green, blue and red bytes in that order. Every LED shows the same
// colour. Initialisation, fills and release share one small lock, so they may
// be called from any thread (an input callback included); a fill holds it for
// one render, well under a millisecond.
//
// Where results differ from the plain "always 0" of the original interface: a
// fill while the strip is not running, and a palette index outside 0 to 8,
// change nothing and return -1.
//
// The library also exports the demo entry point `main` (int main(void)):
// it starts the strip ("init ws2811 ok") and cycles it through palette
// entries 0 to 7, one a second, printing "Led color: %d" before each, until
// the process is ended. When the strip cannot start it returns 1 after the
// failure line. It is not declared here, so that applications keep their own.
#pragma once

#include <stdint.h>
#include <ws2811.h>

#include "kiv_export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Strip configuration handed to every rpi_ws281x call: 800000 Hz, DMA 10,
// channel 0 unused, channel 1 on GPIO 19 with 9 LEDs of type
// WS2811_STRIP_GBR at brightness 255. rpi_ws281x fills in the rest.
KIV_EXPORT extern ws2811_t ledstring;
// The palette: red, orange, yellow, green, light blue, blue, purple, pink
// (the last five dim) and off. Nothing in the library writes it.
KIV_EXPORT extern ws2811_led_t dotcolors[9];
// The LEDs as a grid of `width` columns by `height` rows (9 by 1); the LED at
// column x, row y is element y * width + x. Read at each fill; a fill never
// stores past the strip's LEDs, whatever they hold.
KIV_EXPORT extern int width;
KIV_EXPORT extern int height;
// Unused by the library: 9, the positions 0 to 7, and 0.
KIV_EXPORT extern int led_count;
KIV_EXPORT extern int dotspos[8];
KIV_EXPORT extern int clear_on_exit;

// Starts the strip driver (ws2811_init); a running strip is released first.
// Returns 0, or the negative rpi_ws281x code after printing "ws2811_init
// failed: <text>" to standard error; the strip is then not running. Sends no
// colour. Any thread.
KIV_EXPORT int light_ws2811_init(void);
// Every LED takes palette entry `index` (0 to 8) and the strip is rendered.
// Returns 0; -1 with nothing done for an index outside 0 to 8 or while the
// strip is not running. Any thread.
KIV_EXPORT int light_ws2811_color(int index);
// Every LED takes the colour red << 16 | green << 8 | blue and the strip is
// rendered. Returns 0; -1 with nothing done while the strip is not running.
// Any thread.
KIV_EXPORT int light_ws2811_rgb(uint8_t blue, uint8_t green, uint8_t red);
// Releases a running strip (ws2811_fini): the LEDs keep their last colour.
// Without a running strip it does nothing. Returns 0. Any thread.
KIV_EXPORT int light_ws2811_deinit(void);

#ifdef __cplusplus
}
#endif
