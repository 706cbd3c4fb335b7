// SPDX-License-Identifier: MIT
// kiv_io: the device I/O facade kiv::KivIo.
//
// Threads: every operation runs on the caller's thread. Input callbacks run on
// the GPIO library's interrupt thread of their line, 100 ms after the edge; the
// hardware callback and the AMA read callbacks run on the serial reader thread
// of their port. close_io() must not race with other calls into the facade.
#pragma once

#include <pthread.h>

#include <mutex>

#include "kiv_export.h"

namespace kiv {

class KivIo {
 public:
  // Returns the instance, creating it on the first call ("[KIV-IO] create...").
  KIV_EXPORT static KivIo* getInstance();
  // Destroys the instance if there is one ("[KIV-IO] delete..."): clears the
  // callbacks, releases the LED strip, closes serial ports 0 and 1.
  KIV_EXPORT static void close_io();

  // Start-up: GPIO lines, input interrupts, serial ports "/dev/com1" and
  // "/dev/com2", initial brightness, hardware notification handler, LED strip.
  // Failures are printed only.
  KIV_EXPORT void setup();

  // Serial port index 0 ("/dev/com1" after setup).
  KIV_EXPORT int writeAMA1(char* data, int len);
  KIV_EXPORT void setAMA1Callback(void (*fn)(char*));
  // Serial port index 1 ("/dev/com2", the light controller); writes are paced.
  KIV_EXPORT int writeAMA2(char* data, int len);
  KIV_EXPORT void setAMA2Callback(void (*fn)(char*));

  // Digital outputs.
  KIV_EXPORT void openLaser();
  KIV_EXPORT void closeLaser();
  KIV_EXPORT void setScanStat(bool on);
  KIV_EXPORT void openAlarm();
  KIV_EXPORT void closeAlarm();
  KIV_EXPORT void setDo1High(bool high);
  KIV_EXPORT void setDo2High(bool high);

  // Input callbacks, called with the line level; null unregisters.
  KIV_EXPORT void registerInput(void (*fn)(int));
  KIV_EXPORT void registerTrigger(void (*fn)(int));
  KIV_EXPORT void registerTune(void (*fn)(int));

  void (*hardwareCallback)();
  void (*inputCallback)(int);
  void (*triggerCallback)(int);
  void (*tuneCallback)(int);
  int workMode;

  KIV_EXPORT static KivIo* instance;
  KIV_EXPORT static std::mutex sMutex;

 private:
  KivIo();
  ~KivIo();
  KivIo(const KivIo&) = delete;
  KivIo& operator=(const KivIo&) = delete;
};

// Interrupt handlers of the input (GPIO 17), trigger (GPIO 12) and tune (GPIO 20) lines.
KIV_EXPORT void callbackInput();
KIV_EXPORT void callbackTrigger();
KIV_EXPORT void callbackTune();

}  // namespace kiv
