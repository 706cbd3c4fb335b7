/* SPDX-License-Identifier: MIT */
/* rpi_ws281x stand-in: what the real pwm.h gives ws2811.h. */
#ifndef __PWM_H__
#define __PWM_H__

#define RPI_PWM_CHANNELS 2

#endif /* __PWM_H__ */
