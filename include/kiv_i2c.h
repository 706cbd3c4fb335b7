// SPDX-License-Identifier: MIT
// kiv_io: transfers to the liquid lens controller, a device at the 7-bit
// address 0x18 on I2C bus 5 ("/dev/i2c-5").
//
// Each call is one complete transfer: it opens the bus device, hands the
// kernel one I2C_RDWR request and closes the device again, so nothing is
// shared between calls and any thread may call at any time. A register
// address is 16 bits wide and goes on the bus high byte first; every register
// holds a 4-byte data word. A failure prints "[Liquid] /dev/i2c-5: <reason>"
// on standard output and leaves errno saying why.
#pragma once

#include "kiv_export.h"

// Writes the 4 bytes `data` to register `reg` (its low 16 bits are sent): one
// message of 6 bytes, register high byte, register low byte, data[0..3].
// Returns 0 when the transfer succeeded, 1 when the device could not be opened
// or the transfer failed (or `data` is null). Any thread.
KIV_EXPORT int setLiquidLens(int reg, unsigned char* data);

// Reads the 4-byte word of register `reg` into `out` (room for 4 bytes): the
// register address written and the 4 bytes read, as one combined request.
// Returns 0 when the transfer succeeded, 1 when it failed (or `out` is null);
// `out` is then left untouched. Any thread.
KIV_EXPORT int getLiquidLens(int reg, unsigned char* out);
