/* SPDX-License-Identifier: MIT */
/* rpi_ws281x stand-in: the board description type of the real rpihw.h. */
#ifndef __RPIHW_H__
#define __RPIHW_H__

#include <stdint.h>

typedef struct {
  uint32_t type;
  uint32_t hwver;
  uint32_t periph_base;
  uint32_t videocore_base;
  char* desc;
} rpi_hw_t;

#endif /* __RPIHW_H__ */
