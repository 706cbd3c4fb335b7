// SPDX-License-Identifier: MIT
// Simulated board: stand-in for WiringPi's public header (placeholder).
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
int wiringPiSetupGpio(void);
void pinMode(int pin, int mode);
void pullUpDnControl(int pin, int pud);
int digitalRead(int pin);
void digitalWrite(int pin, int value);
int wiringPiISR(int pin, int mode, void (*function)(void));
int wiringPiISRStop(int pin);
void delay(unsigned int howLong);
#ifdef __cplusplus
}
#endif
