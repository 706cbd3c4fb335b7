// SPDX-License-Identifier: MIT
// Simulated board: WiringPi's public interface (the functions this library uses),
// with the real header's name, functions and constants. Control of the
// simulated lines is in wiringPi_sim.h.
#pragma once
#ifdef __cplusplus
extern "C" {
#endif

#define INPUT 0
#define OUTPUT 1

#define LOW 0
#define HIGH 1

#define PUD_OFF 0
#define PUD_DOWN 1
#define PUD_UP 2

#define INT_EDGE_SETUP 0
#define INT_EDGE_FALLING 1
#define INT_EDGE_RISING 2
#define INT_EDGE_BOTH 3

// Starts GPIO access in SoC (Broadcom) numbering. Returns 0, or -1 when the
// simulated board is set to have no GPIO access.
int wiringPiSetupGpio(void);
// Sets a line's mode (INPUT or OUTPUT) and pull (PUD_OFF, PUD_DOWN, PUD_UP).
void pinMode(int pin, int mode);
void pullUpDnControl(int pin, int pud);
// Reads a line's level, 0 or 1.
int digitalRead(int pin);
// Drives an output line; any non-zero value is high.
void digitalWrite(int pin, int value);
// Registers `function` for edges of type `mode` on `pin`. It runs on a thread
// of that pin, once per edge; edges during a run wait (16 at most). Returns 0,
// or a negative value when refused.
int wiringPiISR(int pin, int mode, void (*function)(void));
// Ends `pin`'s interrupt thread. Returns 0.
int wiringPiISRStop(int pin);
// Sleeps `howLong` milliseconds.
void delay(unsigned int howLong);

#ifdef __cplusplus
}
#endif
