// SPDX-License-Identifier: MIT
// The launcher's commands, typed on its standard input or read from a script:
//   edge <pin|input|trigger|tune> <0|1>   set an input and raise an edge
//   level <pin|input|trigger|tune> <0|1>   set an input's level, no edge
// (edge and level refuse the board's outputs and the strip's line)
//   notify                                 the light controller sends FF AA EE
//   send com1|com2 <text>                  the port's peer sends text (\r \n \xHH)
//   lens set <reg> <value|b0 b1 b2 b3>     set a lens controller register (a
//                                          number, low byte first, or 4 hex bytes)
//   lens nack|stuck|mend                   the controller stops answering, the bus
//                                          sticks, both end
//   lens remove|attach                     "/dev/i2c-5" disappears, comes back
//   hangup com1|com2                       the port's peer hangs up
//   reconnect com1|com2                    a new line at the port's path
//   noise com1|com2 [count]                the port's peer sends noise bytes
//   bounce <input|trigger|tune|pin> <0|1> [edges]
//                                          edges 1 ms apart, the last to the level
//   wait <ms>                              pause before the next command
//   quit                                   end the program (SIGTERM, then SIGKILL)
//   help                                   list the commands
// '#' starts a comment (in `send`, only at the start of the line).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kivsim {

enum class CommandKind {
  kEdge,
  kLevel,
  kNotify,
  kSend,
  kWait,
  kQuit,
  kHelp,
  kLens,
  kHangup,
  kReconnect,
  kNoise,
  kBounce
};
enum class LensAction { kSet, kNack, kStuck, kMend, kRemove, kAttach };

struct Command {
  CommandKind kind = CommandKind::kHelp;
  int pin = -1;       // edge, level, bounce
  int level = 0;      // edge, level, bounce: the level the line ends at
  int edges = 0;      // bounce: how many (odd, so the last is to `level`)
  int port = 0;       // send, noise, hangup, reconnect: 1 (com1) or 2 (com2)
  std::string bytes;  // send: the bytes, escapes decoded; noise: its bytes
  long ms = 0;        // wait
  // lens: what to do; for set, the register and its word
  LensAction lens = LensAction::kSet;
  int reg = 0;
  std::array<uint8_t, 4> word = {};
};

enum class ParseResult { kCommand, kBlank, kError };

// Parses one line. kBlank for an empty or comment line; kError with `error`
// saying what is wrong.
ParseResult parse_command(const std::string& line, Command& cmd, std::string& error);

// Reads a script: one command a line. Returns false with `error` naming the
// file and line of the first fault, or the file and why it cannot be read (it
// must be a regular file of at most kInputFileLimit bytes); nothing runs from
// a faulty script.
bool load_script(const std::string& path, std::vector<Command>& out, std::string& error);

// The level of the `i`th edge (from 0) of a bounce that ends at `cmd.level`.
int bounce_level(const Command& cmd, int i);

// The command list shown by `help` and in the usage text.
const char* command_help();

}  // namespace kivsim
