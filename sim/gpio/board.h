// SPDX-License-Identifier: MIT
// Simulated board: the state of the 64 GPIO lines behind the WiringPi
// stand-in, its call log and fault record. Internal to the stand-in.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "wiringPi_sim.h"

namespace kivsim {
namespace gpio {
namespace detail {

constexpr int kPinCount = 64;

// The interrupt of one line: its handler, the thread it runs on and the
// edges waiting for it.
struct IsrLine {
  void (*handler)() = nullptr;
  int edge = kUnset;
  std::thread thread;
  // The threads that further registrations of the pin started beside the
  // first: as on the board, each of them runs the handler for every edge.
  std::vector<std::thread> more_threads;
  // Bumped to retire the current thread; a thread runs while its own
  // generation is the line's.
  unsigned generation = 0;
  int queued = 0;
  // Handlers running now, one at most per thread.
  int running = 0;
  int starts = 0;
  int ends = 0;
  int lost = 0;
  // Bumped (atomically) to wake the thread from its wait, which a signal
  // interrupts as it does the board's poll on the line.
  unsigned wake_seq = 0;
};

struct Line {
  int mode = kUnset;
  int pull = kUnset;
  int level = 0;
  // The output latch: the level the last write set. As on the board, a write
  // to a line that is not an output sets only the latch, and the line drives
  // the latch's level from the moment it becomes an output.
  int latch = 0;
  // Set once something outside (a test, the launcher) drove the level; a
  // pull setting then no longer decides it.
  bool driven = false;
  bool fail_isr = false;
  IsrLine isr;
};

struct Board {
  std::mutex mutex;
  // Signalled whenever a handler ends or a delay is logged.
  std::condition_variable changed;
  bool set_up = false;
  bool fail_setup = false;
  // The launcher's hand-over of the board's lines (hand_over.h): waited for
  // once, and complete.
  bool hand_over_awaited = false;
  bool handed_over = false;
  // The launcher hung up before the marker came.
  bool hand_over_ended = false;
  // Set-up's wait is over: a hand-over line that comes later is ignored, so
  // that it never changes the lines under a running program.
  bool hand_over_closed = false;
  // Time each wiringPiISR takes first, as the board's takes a second.
  unsigned isr_delay_ms = 0;
  Line lines[kPinCount];
  std::vector<Call> log;
  std::vector<std::string> faults;
};

// The board. Never destroyed, so threads still running at exit find it intact.
Board& board();

inline bool valid_pin(int pin) {
  return pin >= 0 && pin < kPinCount;
}

// Appends a call to the log; board mutex held.
void log_call(Board& b, CallKind kind, int pin, int value, int result = 0);
// The real set-up's board check: returns if the board's revision can be
// read, else prints why and ends the process with status 1, as the board does.
void identify_board_or_exit();
// Records and prints a call the board would not survive; board mutex held.
void fault(Board& b, const char* what, int pin);
// Sets a line's mode; an output then drives its latch's level. Board mutex
// held.
void set_mode(Line& line, int mode);
// Sets a line's pull; an undriven input then floats to it. Board mutex held.
void set_pull(Line& line, int pud);

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
