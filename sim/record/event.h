// SPDX-License-Identifier: MIT
// One event of a run on the simulated board: what happened, where and when,
// as the terminal log, the trace, the scenario checker and the view take it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "light_controller.h"
#include "state_change.h"

namespace kivsim {

// Which part of the board an event is about.
enum class EventSource {
  kSim,      // the launcher: start, commands, end, notes
  kProgram,  // the program's standard output and error
  kGpio,     // the GPIO stand-in and the edges and levels set on it
  kCom1,     // bytes on "/dev/com1"
  kCom2,     // frames on "/dev/com2", decoded by the light controller model
  kLight,    // a change of the light controller's state
  kI2c,      // the lens controller and its bus
  kStrip,    // the LED strip stand-in
};

// How the time was taken.
enum class EventTiming {
  kSource,   // where it happened, in the program or the launcher
  kArrival,  // when the launcher read it: it happened at or before
};

// What happened; the fields each kind carries are listed with it.
enum class EventKind {
  // kSim
  kStart,    // the program started
  kCommand,  // text: the command
  kNote,     // the launcher's own note (any source)
  kExit,     // result: the exit status
  // kProgram: text, one line without its newline
  kOut,
  kErr,
  // kGpio
  kSetup,         // result
  kMode,          // pin, level: 0 input, 1 output
  kPull,          // pin, level
  kWrite,         // pin, level
  kWritten,       // pin, level: the line's level after lost reports
  kRead,          // pin, level
  kIsr,           // pin, level: edge type, result
  kHandlerStart,  // pin
  kHandlerEnd,    // pin
  kEdge,          // pin, level, sent: a launcher command (an edge)
  kLevel,         // pin, level, sent: a launcher command (no edge)
  kLost,          // result: the count of reports lost
  // kCom1, kCom2
  kReceived,  // bytes from the program (com1)
  kSent,      // bytes to the program
  kFrame,     // bytes of one frame from the program (com2); text: its meaning
  // kLight
  kState,  // text: the change; light: the whole state after it
  // kI2c
  kOpen,
  kClose,
  kTransfer,   // result
  kRegisters,  // lens_value, vtemp; text: the registers
  kBus,        // bus: the bus after a lens command; text: its effect
  // kStrip
  kInit,    // result
  kRender,  // leds
  kFini,
  kFault,
  // a report of no known form (gpio, strip, i2c)
  kUnknown,
};

// The lens controller's bus as the lens commands leave it.
struct LensBus {
  bool present = true;    // "/dev/i2c-5" can be opened
  bool stuck = false;     // every transfer times out
  bool answering = true;  // the controller acknowledges its address
  bool operator==(const LensBus& o) const {
    return present == o.present && stuck == o.stuck && answering == o.answering;
  }
};

// The settings of a serial line when its bytes were read: what a waveform of
// them needs. A baud of 0: not known (a trace written before they were kept).
struct SerialLine {
  int baud = 0;
  int data_bits = 8;  // 5 to 8
  char parity = 'N';  // 'N', 'E' or 'O'
  int stop_bits = 1;  // 1 or 2
  bool operator==(const SerialLine& o) const {
    return baud == o.baud && data_bits == o.data_bits && parity == o.parity &&
           stop_bits == o.stop_bits;
  }
};

// One message of an I2C transfer as far as it went on the bus: the address
// with the direction, then the bytes written or received. `nack`: the last
// thing sent (the address when `bytes` is empty, else the last byte written)
// was not acknowledged, and the transfer ended there.
struct BusMessage {
  int addr = 0;
  bool read = false;
  std::string bytes;
  bool nack = false;
  bool operator==(const BusMessage& o) const {
    return addr == o.addr && read == o.read && bytes == o.bytes && nack == o.nack;
  }
};

// One event. `source` and `kind` say what it is; `text` is what a person
// reads; the other fields are set only for the kinds listed with EventKind.
struct Event {
  uint64_t seq = 0;     // 1, 2, ... in the order published
  int64_t time_ns = 0;  // since the run's origin
  EventSource source = EventSource::kSim;
  EventTiming timing = EventTiming::kSource;
  bool late = false;  // published after events with later times
  EventKind kind = EventKind::kNote;
  std::string text;
  int pin = -1;
  int level = -1;
  int result = 0;
  // edge, level: the command reached a GPIO stand-in; if not, its level is
  // held, and reaches the next stand-in that connects as a level of its own.
  bool sent = false;
  std::string bytes;
  SerialLine line;                   // received, sent, frame: the port's settings
  std::vector<BusMessage> messages;  // transfer: what went on the bus
  std::vector<uint32_t> leds;        // 0xRRGGBB per LED
  int lens_value = -1;
  int vtemp = -1;
  LightControllerState light;
  LensBus bus;
  // What the event changed in the device's state: set by the stream's fold
  // when it publishes the event (device_state.h).
  StateChange changes;
};

// The short name of a source, as the log and the trace show it: "sim",
// "program", "gpio", "com1", "com2", "light", "i2c", "strip".
const char* source_name(EventSource source);
// The source of that name; false for a name of none.
bool source_named(const std::string& name, EventSource& source);

// The name of a kind, as the trace shows it: "start", "handler-start", ...
const char* kind_name(EventKind kind);
// The kind of that name; false for a name of none.
bool kind_named(const std::string& name, EventKind& kind);
// Whether events of `kind` carry a result: setup, isr, lost, transfer, strip
// init, exit.
bool kind_has_result(EventKind kind);

}  // namespace kivsim
