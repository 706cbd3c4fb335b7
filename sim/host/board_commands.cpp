// SPDX-License-Identifier: MIT
// The commands of a run, from the script, the terminal or the view, carried
// out on the board's lines and devices.
#include <algorithm>
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
  if (!timed_.empty()) {
    const double in = std::max(0.0, timed_.begin()->first - now_ms());
    if (!due || in < *due)
      due = in;
  }
  return due;
}

void BoardRun::run_due_commands() {
  Command cmd;
  while (script_.take_due(now_ms(), cmd))
    execute(cmd);
  while (typed_.queue().take_due(now_ms(), cmd))
    execute(cmd);
  while (!timed_.empty() && timed_.begin()->first <= now_ms()) {
    cmd = timed_.begin()->second;
    timed_.erase(timed_.begin());
    execute(cmd);
  }
}

void BoardRun::watch_waiting_actions() {
  for (const WaitingAction& w : s_.waiting)
    waiting_.push_back(std::make_unique<EventWatch>(w.when));
  if (!waiting_.empty())
    log_.watch([this](const Event& e) { on_posted(e); });
}

void BoardRun::on_posted(const Event& e) {
  // Only queued here: a command posts events of its own, which a watcher
  // must not. The loop runs it before it next waits.
  for (size_t i = 0; i < waiting_.size(); ++i) {
    if (!waiting_[i] || !waiting_[i]->see(e))
      continue;
    waiting_[i].reset();
    run_at(now_ms() + static_cast<double>(s_.waiting[i].delay_ms), s_.waiting[i].command);
  }
}

void BoardRun::hang_up(int port) {
  if (port == 1)
    com1_.hang_up(log_);
  else
    com2_.hang_up(log_);
}

void BoardRun::reconnect(int port) {
  const int master = s_.new_line ? s_.new_line(port) : -1;
  if (port == 1)
    com1_.reconnect(master, log_);
  else
    com2_.reconnect(master, log_);
}

void BoardRun::bounce(const Command& cmd) {
  // A contact that bounces: edges a millisecond apart, the last one to the
  // level it settles at. The first goes at once, so that the others keep
  // their distance from it.
  const double start = now_ms();
  for (int i = 0; i < cmd.edges; ++i) {
    Command edge;
    edge.kind = CommandKind::kEdge;
    edge.pin = cmd.pin;
    edge.level = bounce_level(cmd, i);
    if (i == 0)
      execute(edge);
    else
      run_at(start + i, edge);
  }
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
      // The line holds the level with no program there to see it; the next
      // program's stand-in is handed it when it connects.
      if (!e.sent)
        e.text += edge ? "   (no GPIO stand-in connected: the edge is lost, its level held for "
                         "the next program that connects)"
                       : "   (held for the next program that connects)";
      hand_over_.see(e);
      log_.post(std::move(e));
      break;
    }
    case CommandKind::kNotify:
      com2_.send_notification(log_);
      break;
    case CommandKind::kSend:
    case CommandKind::kNoise:
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
    case CommandKind::kHangup:
      hang_up(cmd.port);
      break;
    case CommandKind::kReconnect:
      reconnect(cmd.port);
      break;
    case CommandKind::kBounce:
      bounce(cmd);
      break;
  }
}

void BoardRun::run_source_commands() {
  Command cmd;
  while (s_.commands->take_command(cmd))
    execute(cmd);
}

}  // namespace kivsim
