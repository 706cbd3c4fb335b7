// SPDX-License-Identifier: MIT
// The commands of a run, from the script, the terminal or the view, carried
// out on the board's lines and devices.
#include <cstdio>

#include "board_run_internal.h"
#include "gpio_events.h"
#include "gpio_wire.h"

namespace kivsim {

std::optional<double> BoardRun::commands_due_in() {
  // Once the program has ended, what is left of the script stays unplayed.
  if (child_.ended())
    return std::nullopt;
  std::optional<double> due;
  for (CommandQueue* queue : {&script_, &typed_.queue()}) {
    long in = queue->due_in(now_ms());
    if (in >= 0 && (!due || static_cast<double>(in) < *due))
      due = static_cast<double>(in);
  }
  return due;
}

void BoardRun::run_due_commands() {
  Command cmd;
  while (script_.take_due(now_ms(), cmd))
    execute(cmd);
  while (typed_.queue().take_due(now_ms(), cmd))
    execute(cmd);
}

void BoardRun::execute(const Command& cmd) {
  switch (cmd.kind) {
    case CommandKind::kEdge:
    case CommandKind::kLevel: {
      bool edge = cmd.kind == CommandKind::kEdge;
      Event e = log_.make(EventSource::kGpio, edge ? EventKind::kEdge : EventKind::kLevel,
                          describe_gpio_command(edge, cmd.pin, cmd.level));
      e.pin = cmd.pin;
      e.level = cmd.level;
      const link::GpioCommand command{
          edge ? link::GpioCommandKind::kEdge : link::GpioCommandKind::kLevel, cmd.pin, cmd.level};
      e.sent = s_.gpio->send_line(link::encode(command)) > 0;
      if (!e.sent)
        e.text += "   (not sent: no GPIO stand-in connected)";
      log_.post(std::move(e));
      break;
    }
    case CommandKind::kNotify:
      com2_.send_notification(log_);
      break;
    case CommandKind::kSend:
      if (cmd.port == 1)
        com1_.send(cmd.bytes, log_);
      else
        com2_.send(cmd.bytes, log_);
      break;
    case CommandKind::kQuit:
      start_quit("quit");
      break;
    case CommandKind::kHelp:
      std::printf("%s", command_help());
      std::fflush(stdout);
      break;
    case CommandKind::kWait:
      break;  // the queue has taken it into account
    case CommandKind::kLens:
      s_.lens->execute(cmd, log_);
      break;
  }
}

void BoardRun::run_source_commands() {
  Command cmd;
  while (s_.commands->take_command(cmd))
    execute(cmd);
}

}  // namespace kivsim
