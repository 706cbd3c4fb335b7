// SPDX-License-Identifier: MIT
// kiv_io: serial port service (two port slots, one reader thread each) and the
// light controller frames written to port index 1.
//
// Threads: each open slot has one reader thread. It waits for input, reads at
// most 1024 bytes and calls the slot's read callback on that thread: a string
// callback (SetReadSerialPortCallback) with the bytes as a zero-terminated
// string, a data callback (SetReadSerialPortDataCallback) with the bytes, their
// count and its user pointer; either is valid only during the call. Readers start
// with every asynchronous signal blocked (all but SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGTRAP and SIGSYS), so callbacks run with them blocked. While a
// callback runs, its port is not read.
//
// Every function may be called from any thread at any time, also for the same
// slot: opens, closes and registrations of a slot take effect one after the
// other; two opens of different paths get different slots. An open of a path
// whose slot is being closed waits for that close and then opens as it would
// have after it; so does an open that finds no slot free or holding its path
// while one is being closed. A slot keeps its descriptor number while it is
// open, so a write never reaches another file: a write during a reopen goes on
// to the reopened port, and a close makes writes in progress on its port fail
// and waits for them to stop (at most about 50 ms after the close began).
// Writers of one port take turns for whole writes, in the order they came:
// the bytes of one WriteSerialPort (or svWriteSerial, with its pause) go out
// together, never cut by another thread's. Writers of different ports never
// wait for each other. A callback may write to any port, open (or reopen) any
// port, close any port, and register, replace or unregister any callback.
//
// Waits: closing a port waits for its reader to end (its callback to return)
// and for a close of the same slot already under way; an open waits for a
// close it must follow and for a reader that ends after its callback closed
// the port; a registration waits for a close of its slot under way;
// unregistering or replacing a data callback waits for its running call. The
// library's own waits never form a circle, and each ends once the callbacks
// it waits for return. A wait for a thread that is itself waiting for the
// caller, through the library (the caller's own callback, or one that is
// closing the caller's port or waiting out the caller's callback), is not
// made: such an open fails with -1 and "open serial %s error\n"; such a close
// still closes the port, and leaves that callback to end once it returns (its
// reader is joined by the slot's next open or close, or at unload); such an
// unregistration or replacement still takes effect, or, on a slot being
// closed, fails as on a closed slot. Calls made outside every callback of the
// library (reader, input and hardware notification threads) are never
// refused, so `user` may be freed once a close, unregistration or replacement
// of its callback made from such a thread returns. A callback that closed or
// unregistered another port must leave freeing that port's `user` to such a
// thread: a SerialPortFree of the slot, also once it is closed, waits for a
// call still running there. A wait that runs through the application's own
// locks (a callback taking a mutex that its closer holds) stays the
// application's to avoid.
#pragma once

#include "kiv_export.h"

// Read callback: one received chunk as a zero-terminated string. It ends at
// the chunk's first zero byte: for a line that may carry zeros (a binary
// protocol), register a SerialDataCallback instead.
typedef void (*SerialReadCallback)(char* chunk);

// Read callback for any bytes: exactly the `len` bytes of one read (1 to 1024),
// zeros included, and the `user` pointer registered with it.
typedef void (*SerialDataCallback)(const unsigned char* data, int len, void* user);

// Opens `path` in raw mode, 8 data bits, no parity, 1 stop bit, at `baud`
// (4800, 9600, 19200, 38400, 57600 or 115200; any other value gives 115200),
// into the first slot that is free or already holds `path`, and starts the
// slot's reader. Opening the slot's own path again keeps its reader and
// callback (not its registered buffer) and puts the new port on the slot's
// descriptor number; like a close, it lets output already written leave the
// line before discarding what is pending. Prints "serial index  %d  fd  %d\n" with the slot and its
// number. Returns 0 or -1.
KIV_EXPORT int SerialPortInit(char* path, int baud);

// As SerialPortInit with the frame format named: dataBits 7 or 8, stopBits 1
// or 2, parity 'N', 'E' or 'O' in either case. Returns the slot index or -1.
KIV_EXPORT int SerialPortInitEX(char* path, int baud, int dataBits, int stopBits, char parity);

// Writes `len` bytes to slot `index` in pieces of at most 4096 bytes, waiting
// for the line to take them, in this writer's turn: it first waits for the
// writers of the port that came before it to finish. Fails when the line takes
// nothing for twice the time one full piece takes on the wire plus 100 ms
// (0.81 s at 115200 8N1; the stall bound), or when the port is closed
// meanwhile, whether the writer is writing or waiting for its turn. A writer
// waits for its turn as long as the writers ahead keep the line taking bytes
// (and through the light controller pause each of them holds), and fails once
// the line has taken nothing for the stall bound. Returns 0 when all were
// written, -1 otherwise.
KIV_EXPORT int WriteSerialPort(char* data, int len, int index);

// Registers the string read callback of slot `index` and the buffer (of
// `size` bytes, 1 to 1024) the reader reads into; a null buffer makes the
// reader use its own. The buffer stays the caller's and must outlive the
// registration; once a new registration returns, no read fills the buffer it
// replaced. Replaces a data callback as SetReadSerialPortDataCallback does.
// A registration on a slot being closed waits for the close (see Waits
// above). Returns 0, or -1 for an index other than 0 or 1 (no message) or a
// slot without an open port ("set serial callback error\r"), whose callback
// the close has dropped or kept as it does.
KIV_EXPORT int SetReadSerialPortCallback(SerialReadCallback callback, char* buffer, int size,
                                         int index);

// Registers the data read callback of slot `index` with `user`, which is handed
// to every call together with the callback it was registered with. A slot has
// one read callback of either kind: this replaces a string callback (and its
// buffer: the reader reads into its own), and SetReadSerialPortCallback
// replaces this; a null `callback` unregisters. Unregistering or replacing
// it, and SerialPortFree, wait for a running call of it to return (see Waits
// above for the calls that do not), so the caller may free `user` once they
// return. SerialPortFree drops it: a later open has no data callback until one
// is registered. Returns and prints as SetReadSerialPortCallback.
KIV_EXPORT int SetReadSerialPortDataCallback(SerialDataCallback callback, void* user, int index);

// Waits for a close of the slot under way, then stops the reader of slot
// `index` (waiting for its callback; see Waits above), drops a data callback
// (a string callback stays for the next open), makes writes in progress fail
// and waits for them, lets output already written leave the line (for at
// most the time the bytes the line still counts take on the wire, plus 100
// ms, then, on a UART, until its transmitter is empty, for at most the time
// 64 characters take), discards pending input (and output only when the line
// still counts bytes after that), restores the line's saved settings, closes
// the port and frees the slot. A close with no output queued ends within a
// few milliseconds (plus that transmitter time) once the callback returned.
// For a slot without an open port it only waits for a reader or data call
// that is still running there.
KIV_EXPORT void SerialPortFree(int index);

// Wrappers used by the rest of the library.
KIV_EXPORT int svSerialInit(char* path, int baud);  // SerialPortInit
// SerialPortInitEX on "/dev/com1".
KIV_EXPORT int svSerialInitRS232(int baud, int dataBits, int stopBits, char parity);
// Registers `callback` with the service's own 1024-byte receive buffer of the port.
KIV_EXPORT int svSetSerialReadCallback(SerialReadCallback callback, int index);
// WriteSerialPort; on index 1 it then pauses firmware_index_v2(5) milliseconds
// when that is positive, whether the write succeeded or not. The pause is part
// of the writer's turn: the next writer's bytes follow only after it (a close
// of the port ends the turn at once; the caller still waits out the pause).
KIV_EXPORT int svWriteSerial(char* data, int len, int index);
KIV_EXPORT void svSerialFree(int index);  // SerialPortFree

// Light controller frames on port index 1.
// Switches controller channel 1..4 on (state 1) or off (state 0): "<ch>-<1|0>\r\n".
// Returns the write result, or -1 for a channel outside 1..4 (nothing sent).
KIV_EXPORT int svSetLightCtl(int channel, int state);
// Sets the brightness, 20..479, as "C-" + 16-bit big-endian value + "\r\n".
// Returns the write result, or -1 for a value out of range (nothing sent).
KIV_EXPORT int svSetBrightnessValue(int value);
