// SPDX-License-Identifier: MIT
// Simulated board: control of the I2C layer for tests and simulators in the
// same process. Everything here may be called from any thread.
//
// The layer stands in for the kernel's I2C character device "/dev/i2c-5". It
// claims that one path in open, open64, openat, openat64 and their fortified
// forms (__open_2, ...), and the descriptors they return in ioctl and close;
// every other call goes on to the C library unchanged. A claimed descriptor
// answers I2C_RDWR by carrying the request on the bus (i2c_bus.h) and
// I2C_FUNCS with plain I2C; any other request fails with ENOTTY. While the
// device is absent, opening it fails with ENOENT whatever the host has there.
//
// The layer reaches a program either linked into it (tests: its definitions
// in the executable come before the C library's) or preloaded (the launcher).
// When KIV_SIM_I2C_SOCKET names a Unix socket, the bus is the one the process
// at its other end holds (i2c_wire.h); otherwise it is this process's own,
// controlled through the functions below.
#pragma once

#include <vector>

#include "i2c_bus.h"
#include "lens_controller.h"

namespace kivsim {
namespace i2c {

// Whether "/dev/i2c-5" exists (true at start).
void set_present(bool present);
// A stuck bus times every transfer out (ETIMEDOUT).
void set_stuck(bool stuck);
// A controller that stops answering leaves transfers unacknowledged (EREMOTEIO).
void set_answering(bool answering);
// A register of the lens controller; false outside its register file.
bool set_register(int reg, const LensController::Word& word);
LensController::Word register_word(int reg);

// Every I2C_RDWR request carried so far, oldest first; clear_transfers forgets them.
std::vector<Transfer> transfers();
void clear_transfers();

// Descriptors of "/dev/i2c-5" open now in this process.
int open_descriptors();
// ioctl and close calls made on a negative descriptor (always a caller's
// fault: an open whose failure went untested).
int calls_on_bad_descriptors();

// Present, not stuck, registers zero, answering, no record.
void reset();

}  // namespace i2c
}  // namespace kivsim
