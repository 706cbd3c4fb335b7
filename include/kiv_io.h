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
//
// Callbacks come in two forms. Each input line, the hardware notification and
// each serial port has one callback at a time, of either form: registering
// one replaces the other. The plain form is a bare function pointer (kept in
// the public members below). The other form takes a `void* user` that is
// handed back to every call, read together with its function, so that a call
// never gets another registration's pointer. Unregistering or replacing a
// callback of that form (also by registering the plain form), and close_io(),
// wait for a running call of it to return, so the caller may free what `user`
// points at once they return. Such a call may register, replace or unregister
// any callback. The library's waits never form a circle: an unregistration
// made from a callback does not wait for a call that is itself waiting for
// that callback (two lines' callbacks unregistering each other's): it takes
// effect, and that `user` may be freed once an unregistration of the line made
// outside every callback returns (those always wait). The serial ports follow
// the same rule (see Waits in kiv_serial.h); a wait that runs through the
// application's own locks stays the application's to avoid.
//
// Light controller (serial port index 1): every frame is one write followed by
// the write pause, on the caller's thread; frames from different threads go
// out whole, in no promised order, except that open_light, close_light and
// setWorkMode take turns: each change of t_light_on or workMode and its frame
// go out together, so the light-off frame is sent once per switch-off, the
// flag always matches the last light frame open_light and close_light sent,
// workMode the last work mode frame setWorkMode and open_light sent, and
// open_light's light-on frame reaches the controller in work mode 5 (each may
// wait for another's frames and pauses). Any thread may call these
// operations, the hardware callback included.
#pragma once

#include <pthread.h>

#include <mutex>

#include "kiv_export.h"
#include "kiv_serial.h"

namespace kiv {

class KivIo {
 public:
  // Returns the instance, creating it on the first call (prints "[KIV-IO]
  // create..."); creation touches no hardware. Any thread; serialised by sMutex.
  KIV_EXPORT static KivIo* getInstance();
  // Destroys the instance if there is one (prints "[KIV-IO] delete..."): clears
  // the callbacks (waiting for running calls of those with a user pointer), releases the LED strip,
  // closes serial ports 0 and 1 and joins their readers. What was written to the ports still leaves
  // the lines (see SerialPortFree), so closing both may take twice that bound. A later
  // getInstance() builds a fresh instance. Must not run concurrently with other calls into the
  // facade.
  KIV_EXPORT static void close_io();

  // Start-up: GPIO lines to their resting levels, the three input interrupts,
  // serial ports "/dev/com1" and "/dev/com2" (indices 0 and 1 when both open),
  // initial brightness, hardware notification handler, LED strip. Failures are
  // printed only; a failed GPIO start or interrupt registration ends it early.
  // A board that WiringPi cannot identify (no device-tree revision, no
  // "Revision" line in "/proc/cpuinfo") is a failed GPIO start ("wiringPi
  // setup error"), where WiringPi itself would end the process. The input
  // interrupts are registered once per process: they outlive close_io(), and
  // a later setup() finds them in place. The library is linked with
  // "-z nodelete", so dlclose() leaves it mapped for their handlers. On the
  // board each registration takes a second or more, so the first setup()
  // takes three seconds or more.
  KIV_EXPORT void setup();

  // Writes `len` bytes to serial port index 0 ("/dev/com1" after setup).
  // Returns 0, or -1 if the port is not open or the write failed.
  KIV_EXPORT int writeAMA1(char* data, int len);
  // Sets port index 0's read callback; it runs on that port's reader thread
  // with each chunk as a string, which ends at the chunk's first zero byte.
  KIV_EXPORT void setAMA1Callback(void (*fn)(char*));
  // The same with a data callback, which gets every byte of each chunk, zeros
  // included, and `user` (see SetReadSerialPortDataCallback); null unregisters.
  // Use it for a peer that may send zero bytes.
  KIV_EXPORT void setAMA1Callback(SerialDataCallback fn, void* user);
  // Writes to serial port index 1 ("/dev/com2", the light controller), then
  // pauses for the configured write pause. Returns 0 or -1.
  KIV_EXPORT int writeAMA2(char* data, int len);
  // Sets port index 1's read callback, replacing the hardware notification
  // handler that setup installed.
  KIV_EXPORT void setAMA2Callback(void (*fn)(char*));
  // The same with a data callback and `user`, as setAMA1Callback's.
  KIV_EXPORT void setAMA2Callback(SerialDataCallback fn, void* user);

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
  // The same with `user` handed to each call; the line's member pointer
  // (inputCallback, ...) is then null.
  KIV_EXPORT void registerInput(void (*fn)(int level, void* user), void* user);
  KIV_EXPORT void registerTrigger(void (*fn)(int level, void* user), void* user);
  KIV_EXPORT void registerTune(void (*fn)(int level, void* user), void* user);

  // Light sections 1..4, mapped to controller channels by firmware_index_v2.
  // enableLightSection returns 1 for a section outside 1..4, disableLightSection
  // -1; otherwise the write result (0 or -1), or -1 when the mapped channel
  // lies outside 1..4 (nothing sent).
  KIV_EXPORT int enableLightSection(int section);
  KIV_EXPORT int disableLightSection(int section);
  // Sends work mode `mode` (its low 8 bits), prints "[KIV-IO] Work mode(<mode>):
  // <result>" and stores the whole `mode` in workMode, also when the write
  // failed. Returns the write result.
  KIV_EXPORT int setWorkMode(int mode);
  // Switches the light on: returns 1 when t_light_on is already set (nothing
  // sent); otherwise selects work mode 5 unless workMode is 5, sets the flag,
  // sends the light-on frame and returns 0, whether or not the frames were
  // written.
  KIV_EXPORT int open_light();
  // Switches the light off when t_light_on is set: clears the flag and sends
  // the light-off frame. Always returns 0.
  KIV_EXPORT int close_light();
  // Sends the command frame `cmd`, '-', `arg`, CR, LF as raw bytes. Returns the
  // write result. Leaves t_light_on alone, also for the light command '9'.
  KIV_EXPORT int callCmd(char cmd, char arg);
  // Flash once; flash count and flash time as their low 8 bits. Write
  // failures are not reported.
  KIV_EXPORT void callLightFlash();
  KIV_EXPORT void setLightFlashCount(int count);
  KIV_EXPORT void setLightFlashTime(int time);
  // The callback of the light controller's hardware notification (FF AA EE),
  // called on port index 1's reader thread, which reads nothing more until it
  // returns; null unregisters. setAMA2Callback replaces the handler that calls it.
  KIV_EXPORT void registerHardware(void (*fn)());
  // The same with `user` handed to each call; hardwareCallback is then null.
  KIV_EXPORT void registerHardware(void (*fn)(void* user), void* user);

  // Status colour on the LED strip: prints "[KIV-IO] RGB: <state>", then
  // shows off (0), blue (1), green (2) or red (3) on every LED; any other
  // state leaves the strip as it was. Caller's thread; the strip's own lock
  // makes it safe from an input callback too.
  KIV_EXPORT void setRgbLight(unsigned char state);
  // Shows the colour red << 16 | green << 8 | blue on every LED (arguments in
  // the order blue, green, red); prints nothing. Caller's thread.
  KIV_EXPORT void setRgbLight_rgb(unsigned char blue, unsigned char green, unsigned char red);

  // Liquid lens and VTemp, each one I2C transfer on the caller's thread (see
  // kiv_i2c.h). setLiquid sets the lens value, 0 to 46000; a value outside
  // is refused with "[ERROR] Liquid Max value: 46000" or "[ERROR] Liquid Min
  // value: 0" and nothing is sent. Returns 0, or 1 when refused or when the
  // transfer failed.
  KIV_EXPORT int setLiquid(int value);
  // Reads the lens value back: 0 to 65535, or -1 when the transfer failed.
  KIV_EXPORT int getLiquid();
  // Switches VTemp on (1 written to its register). Returns 0, or 1 when the
  // transfer failed.
  KIV_EXPORT int openVTemp();

  // Callbacks of the plain form and work mode, null and 1 after construction.
  // Written by one thread and read by the event threads: access them
  // atomically. A callback registered with a user pointer is kept inside the
  // library, not here.
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

// Read callback of serial port index 1, installed by setup: calls the current
// instance's hardware callback when `chunk` is exactly the notification FF AA
// EE (as a zero-terminated string: a zero byte after it still counts). Any
// other chunk is dropped. Runs on the port's reader thread.
KIV_EXPORT void callbackHardware(char* chunk);

// Automatic switch-off, a thread start routine (`arg` is ignored, the result is
// null): tests t_light_on every 100 ms, at most 29 times, and then calls
// close_light on the instance if the flag is still set. Returns within 100 ms
// once the flag is cleared. Nothing starts it: run it on a thread of your own
// after open_light, for example one whose handle is kept in t_light_thread.
KIV_EXPORT void* custom_light_run(void* arg);

// 1 from an open_light that returned 0 until the next close_light. Only those
// two change it; read it with one atomic 32-bit load (__atomic_load_n).
KIV_EXPORT extern int t_light_on;
// Zero at load; never used by the library: a place for the handle of the
// thread that runs custom_light_run.
KIV_EXPORT extern pthread_t t_light_thread;

}  // namespace kiv
