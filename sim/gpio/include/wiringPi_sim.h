// SPDX-License-Identifier: MIT
// Simulated board: control of the WiringPi stand-in, for tests and simulators
// in the same process. Everything here may be called from any thread.
//
// The stand-in keeps a board of 64 GPIO lines. Each line has a mode, a pull
// setting and a level; every WiringPi call is logged in order. Edges injected
// on a line with a registered interrupt run its handler on the line's own
// thread, queued up to 16 deep while a handler runs (more are lost), as the
// kernel does for the real library. Calls that end the process on the board
// (pinMode before set-up, a pin outside 0..63, ...) are counted as faults and
// printed to standard error.
//
// As on the board, a write to a line that is not an output (INPUT, or a mode
// never set) goes to the line's output latch only; pinMode(pin, OUTPUT) then
// drives the latch's level at once.
//
// From another process: when KIV_SIM_GPIO_SOCKET names a Unix stream socket,
// wiringPiSetupGpio connects to it, reports every event there as a text line
// and takes "edge <pin> <level>" and "level <pin> <level>" commands. Before
// it returns, it waits (a second at most) for the launcher's hand-over of the
// board's lines as earlier programs and the launcher left them
// (sim/link/gpio_wire.h), so that the program's first read sees them.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace kivsim {
namespace gpio {

// What a logged call was.
enum class CallKind {
  Setup,    // wiringPiSetupGpio: pin -1, value = result
  Mode,     // pinMode: value = mode
  Pull,     // pullUpDnControl: value = pud
  Write,    // digitalWrite: value = level written (0 or 1, any non-zero is high)
  Read,     // digitalRead: value = level returned
  Isr,      // wiringPiISR: value = edge type, result = result
  IsrStop,  // wiringPiISRStop: result = result
  Delay,    // delay: pin -1, value = milliseconds
};

// One logged call.
struct Call {
  CallKind kind;
  int pin;
  int value;
  int result;
};

// Mode or pull of a line that was never configured.
constexpr int kUnset = -1;
// Edges a line keeps while its handler runs; further ones are lost.
constexpr int kEdgeQueueDepth = 16;

// Makes wiringPiSetupGpio fail with -1 ("no GPIO access") while `fail` holds.
void fail_setup(bool fail);
// Makes wiringPiISR on `pin` return -1 while `fail` holds.
void fail_isr(int pin, bool fail);

// Whether wiringPiSetupGpio has succeeded.
bool is_set_up();
// A line's mode (INPUT/OUTPUT or kUnset), pull (PUD_* or kUnset) and level.
// Out-of-range pins give kUnset.
int mode(int pin);
int pull(int pin);
int level(int pin);
// Whether `pin` has a registered handler, and its edge type (kUnset if none).
bool has_isr(int pin);
int isr_edge(int pin);

// The calls so far, oldest first (past about a million, the older half is
// dropped); clear_calls forgets them.
std::vector<Call> calls();
void clear_calls();
// Only the calls of one kind (and pin, unless pin < 0).
std::vector<Call> calls_of(CallKind kind, int pin = -1);

// Calls the board would not have survived, and what they were.
int fault_count();
std::vector<std::string> faults();

// Sets an input's level as an outside driver would, without an edge.
void set_level(int pin, int level);
// Sets the level and raises an edge. Returns true if the edge was queued for
// the line's handler; false if there is no handler for that edge direction,
// the pin is out of range, or the queue was full (the edge is then lost).
bool inject_edge(int pin, int level);

// Handler runs of `pin` started and finished so far, and edges lost.
int handler_starts(int pin);
int handler_ends(int pin);
int edges_lost(int pin);
// Waits until `pin` has no queued edge and no running handler. Returns false
// on time-out.
bool wait_handler_idle(int pin,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
// Waits until `pin`'s handler has finished at least `count` runs.
bool wait_handler_ends(int pin, int count,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
// Waits until at least `count` delay calls of `ms` milliseconds were logged.
bool wait_delays(unsigned ms, int count,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// Sends `signal` to the thread of `pin`'s interrupt (pthread_kill). As on the
// board, a signal that interrupts that thread's wait (one with a handler,
// not blocked by the thread) ends the pin's interrupts for good. False when
// the pin has no interrupt thread.
bool signal_isr_thread(int pin, int signal);

// The threads running `pin`'s interrupt: one per registration, as on the
// board, where a second registration of a pin is not refused but starts a
// second thread, and each thread runs the handler for every edge.
int isr_threads(int pin);

// Makes each wiringPiISR take `delay` before it registers, as the board's
// takes a second or more. None by default (0), so that timed runs keep their
// pace.
void set_isr_delay(std::chrono::milliseconds delay);

// Stops every interrupt thread (waiting for running handlers) and the remote
// control thread. Registrations are forgotten. Also runs at process exit.
// From inside a handler, that handler's own thread ends once it returns.
void stop_all();

}  // namespace gpio
}  // namespace kivsim
