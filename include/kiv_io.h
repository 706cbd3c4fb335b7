// SPDX-License-Identifier: MIT
// kiv_io: the device I/O facade kiv::KivIo.
//
// Threads: every operation runs on the caller's thread. Input callbacks run on
// the GPIO library's interrupt thread of their line, 100 ms after the edge; the
// hardware callback and the AMA read callbacks run on the serial reader thread
// of their port. Those threads start with every asynchronous signal blocked
// (all but SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP and SIGSYS), so callbacks
// run with them blocked. close_io() must not race with other calls into the
// facade.
#pragma once

#include <pthread.h>

#include <mutex>

#include "kiv_export.h"

namespace kiv {

class KivIo {
 public:
  // Returns the instance, creating it on the first call (prints "[KIV-IO]
  // create..."); creation touches no hardware. Any thread; serialised by sMutex.
  KIV_EXPORT static KivIo* getInstance();
  // Destroys the instance if there is one (prints "[KIV-IO] delete..."): clears
  // the callbacks, releases the LED strip, closes serial ports 0 and 1 and joins
  // their readers. A later getInstance() builds a fresh instance. Must not
  // run concurrently with other calls into the facade.
  KIV_EXPORT static void close_io();

  // Start-up: GPIO lines to their resting levels, the three input interrupts,
  // serial ports "/dev/com1" and "/dev/com2" (indices 0 and 1 when both open),
  // initial brightness, hardware notification handler, LED strip. Failures are
  // printed only; a failed GPIO start or interrupt registration ends it early.
  KIV_EXPORT void setup();

  // Writes `len` bytes to serial port index 0 ("/dev/com1" after setup).
  // Returns 0, or -1 if the port is not open or the write failed.
  KIV_EXPORT int writeAMA1(char* data, int len);
  // Sets port index 0's read callback; it runs on that port's reader thread.
  KIV_EXPORT void setAMA1Callback(void (*fn)(char*));
  // Writes to serial port index 1 ("/dev/com2", the light controller), then
  // pauses for the configured write pause. Returns 0 or -1.
  KIV_EXPORT int writeAMA2(char* data, int len);
  // Sets port index 1's read callback, replacing the hardware notification
  // handler that setup installed.
  KIV_EXPORT void setAMA2Callback(void (*fn)(char*));

  // Digital outputs, driven on the caller's thread: laser (GPIO 13), alarm
  // (GPIO 21), DO1 (GPIO 22) and DO2 (GPIO 27) high or low.
  KIV_EXPORT void openLaser();
  KIV_EXPORT void closeLaser();
  // Scan status: `on` drives GPIO 16 high then GPIO 7 low; otherwise the reverse.
  KIV_EXPORT void setScanStat(bool on);
  KIV_EXPORT void openAlarm();
  KIV_EXPORT void closeAlarm();
  KIV_EXPORT void setDo1High(bool high);
  KIV_EXPORT void setDo2High(bool high);

  // Input callbacks of the input (GPIO 17), trigger (GPIO 12) and tune
  // (GPIO 20) lines; null unregisters. Each is called on its line's interrupt
  // thread 100 ms after an edge, with the level read just after the edge.
  KIV_EXPORT void registerInput(void (*fn)(int));
  KIV_EXPORT void registerTrigger(void (*fn)(int));
  KIV_EXPORT void registerTune(void (*fn)(int));

  // Callbacks and work mode, null and 1 after construction. Written by one
  // thread and read by the event threads: access them atomically.
  void (*hardwareCallback)();
  void (*inputCallback)(int);
  void (*triggerCallback)(int);
  void (*tuneCallback)(int);
  int workMode;

  // The instance (null while there is none) and the mutex around its creation
  // and removal.
  KIV_EXPORT static KivIo* instance;
  KIV_EXPORT static std::mutex sMutex;

 private:
  KivIo();
  ~KivIo();
  KivIo(const KivIo&) = delete;
  KivIo& operator=(const KivIo&) = delete;
};

// Interrupt handlers of the input (GPIO 17), trigger (GPIO 12) and tune
// (GPIO 20) lines, registered by setup. Each runs on its line's interrupt
// thread: it reads the line, waits 100 ms and calls the current instance's
// callback with that level, if one is registered.
KIV_EXPORT void callbackInput();
KIV_EXPORT void callbackTrigger();
KIV_EXPORT void callbackTune();

}  // namespace kiv
