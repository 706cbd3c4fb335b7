/* SPDX-License-Identifier: MIT */
/*
 * rpi_ws281x stand-in: the real library's ws2811.h (1.1.0) with the same
 * types, member order, constants and result codes, over a simulated strip
 * whose control interface is ws2811_sim.h.
 *
 * As on the board, ws2811_fini, ws2811_render and ws2811_wait need a
 * successful ws2811_init first: the real library dereferences its driver state
 * unchecked and the process crashes. The stand-in aborts with a message then.
 */
#ifndef __WS2811_H__
#define __WS2811_H__

#ifdef __cplusplus
extern "C" {
#endif

#include <stdint.h>

#include "pwm.h"
#include "rpihw.h"

#define WS2811_TARGET_FREQ 800000

/* 4-colour strips: white shift in the top byte. */
#define SK6812_STRIP_RGBW 0x18100800
#define SK6812_STRIP_RBGW 0x18100008
#define SK6812_STRIP_GRBW 0x18081000
#define SK6812_STRIP_GBRW 0x18080010
#define SK6812_STRIP_BRGW 0x18001008
#define SK6812_STRIP_BGRW 0x18000810
#define SK6812_SHIFT_WMASK 0xf0000000

/* 3-colour strips: the bytes are the red, green and blue shifts. */
#define WS2811_STRIP_RGB 0x00100800
#define WS2811_STRIP_RBG 0x00100008
#define WS2811_STRIP_GRB 0x00081000
#define WS2811_STRIP_GBR 0x00080010
#define WS2811_STRIP_BRG 0x00001008
#define WS2811_STRIP_BGR 0x00000810

#define WS2812_STRIP WS2811_STRIP_GRB
#define SK6812_STRIP WS2811_STRIP_GRB
#define SK6812W_STRIP SK6812_STRIP_GRBW

struct ws2811_device;

/* 0xWWRRGGBB */
typedef uint32_t ws2811_led_t;

typedef struct ws2811_channel_t {
  int gpionum;
  int invert;
  int count;
  int strip_type;
  ws2811_led_t* leds;
  uint8_t brightness;
  uint8_t wshift;
  uint8_t rshift;
  uint8_t gshift;
  uint8_t bshift;
  uint8_t* gamma;
} ws2811_channel_t;

typedef struct ws2811_t {
  uint64_t render_wait_time;
  struct ws2811_device* device;
  const rpi_hw_t* rpi_hw;
  uint32_t freq;
  int dmanum;
  ws2811_channel_t channel[RPI_PWM_CHANNELS];
} ws2811_t;

/* clang-format off */
#define WS2811_RETURN_STATES(X)                                      \
  X(0, WS2811_SUCCESS, "Success"),                                   \
  X(-1, WS2811_ERROR_GENERIC, "Generic failure"),                    \
  X(-2, WS2811_ERROR_OUT_OF_MEMORY, "Out of memory"),                \
  X(-3, WS2811_ERROR_HW_NOT_SUPPORTED, "Hardware revision is not supported"), \
  X(-4, WS2811_ERROR_MEM_LOCK, "Memory lock failed"),                \
  X(-5, WS2811_ERROR_MMAP, "mmap() failed"),                         \
  X(-6, WS2811_ERROR_MAP_REGISTERS, "Unable to map registers into userspace"), \
  X(-7, WS2811_ERROR_GPIO_INIT, "Unable to initialize GPIO"),        \
  X(-8, WS2811_ERROR_PWM_SETUP, "Unable to initialize PWM"),         \
  X(-9, WS2811_ERROR_MAILBOX_DEVICE, "Failed to create mailbox device"), \
  X(-10, WS2811_ERROR_DMA, "DMA error"),                             \
  X(-11, WS2811_ERROR_ILLEGAL_GPIO, "Selected GPIO not possible"),   \
  X(-12, WS2811_ERROR_PCM_SETUP, "Unable to initialize PCM"),        \
  X(-13, WS2811_ERROR_SPI_SETUP, "Unable to initialize SPI"),        \
  X(-14, WS2811_ERROR_SPI_TRANSFER, "SPI transfer error")
/* clang-format on */

#define WS2811_RETURN_STATES_ENUM(state, name, str) name = state
#define WS2811_RETURN_STATES_STRING(state, name, str) str

typedef enum {
  WS2811_RETURN_STATES(WS2811_RETURN_STATES_ENUM),
  WS2811_RETURN_STATE_COUNT
} ws2811_return_t;

/* Starts the driver: allocates each channel's zeroed LED buffer and gamma
 * table and sets the colour shifts from the strip type. */
ws2811_return_t ws2811_init(ws2811_t* ws2811);
/* Frees what ws2811_init allocated. */
void ws2811_fini(ws2811_t* ws2811);
/* Sends every channel's LED buffer to its strip. */
ws2811_return_t ws2811_render(ws2811_t* ws2811);
/* Waits for the transfer of the last render to end. */
ws2811_return_t ws2811_wait(ws2811_t* ws2811);
/* The text of a result code. */
const char* ws2811_get_return_t_str(const ws2811_return_t state);
/* Replaces the gamma tables with a curve of this factor (after init). */
void ws2811_set_custom_gamma_factor(ws2811_t* ws2811, double gamma_factor);

#ifdef __cplusplus
}
#endif

#endif /* __WS2811_H__ */
