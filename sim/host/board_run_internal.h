// SPDX-License-Identifier: MIT
// The run of run_on_board(), shared by the files that each do one part of it:
// its life from start to summary and the program's quit (board_run.cpp), the
// sources the reactor watches for it (board_sources.cpp), the commands it
// carries out (board_commands.cpp), the stand-ins' reports (board_reports.cpp),
// the board's lines handed to each GPIO stand-in (board_hand_over.cpp) and the
// summary at the end (board_summary.cpp).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board_run.h"
#include "child_process.h"
#include "client_sources.h"
#include "command_queue.h"
#include "controller_peer.h"
#include "event_log.h"
#include "gpio_hand_over.h"
#include "port_peer.h"
#include "program_output.h"
#include "reactor.h"
#include "typed_commands.h"

namespace kivsim {

class BoardRun {
 public:
  explicit BoardRun(const RunSetup& s);
  int run();

 private:
  // The order in which the ready sources of one step are handled.
  enum Order : int {
    // The program's own output first: it usually says what it is about to do.
    kProgramOutput,
    kGpioClients,
    kStripClients,
    kStripListener,
    // Clients before a new one is accepted.
    kLensClients,
    kLensListener,
    kGpioListener,
    kPorts,
    kTypedCommands,
    kViewCommands,
    // Last: the program's end comes after all it left behind in this step.
    kSignals,
  };

  double now_ms() const { return log_.elapsed() * 1000.0; }

  // The run's life.
  void start_quit(const char* why);
  std::optional<double> kill_due_in() const;
  void kill_after_grace();
  void on_signal();
  void drain_after_end();
  void end_run(int status);

  // What the reactor watches.
  void watch_sources();
  void watch_program_output();
  void watch_links();
  void watch_command_sources();
  void add_deadlines();
  std::optional<double> quiet_due_in() const;
  void flush_quiet_partials();

  // Commands.
  std::optional<double> commands_due_in();
  void run_due_commands();
  void execute(const Command& cmd);
  void run_source_commands();
  // What a command leaves to come later (a bounce's edges) and the actions
  // whose event came, each at its time.
  void run_at(double at_ms, const Command& cmd) { timed_.emplace(at_ms, cmd); }
  void watch_waiting_actions();
  void on_posted(const Event& e);
  void hang_up(int port);
  void reconnect(int port);
  void bounce(const Command& cmd);

  // The stand-ins' reports.
  void on_gpio_client(int fd);
  void on_strip_client(int fd);
  std::vector<int> strip_client_fds() const;
  // A stand-in's report, at its own time, or now when it has none.
  Event report_event(EventSource source, const std::string& line);
  // Accepts the connections waiting at `server` now.
  void accept_waiting(LinkServer& server, EventSource source);

  // Accepts a GPIO stand-in's connection and hands it the board's lines;
  // false, with `note` saying why, when it was refused or failed.
  bool accept_gpio(std::string& note);
  // Sends the stand-in at `fd` the board's lines as the run knows them.
  void hand_over(int fd);
  // Reads every link to its end once the program has ended.
  void drain_links();

  void show_summary();

  const RunSetup& s_;
  EventLog log_;
  ChildProcess child_;
  PortPeer com1_;
  ControllerPeer com2_;
  ProgramOutput out_{EventKind::kOut}, err_{EventKind::kErr};
  CommandQueue script_;
  TypedCommands typed_;
  std::multimap<double, Command> timed_;              // by the time they are due
  std::vector<std::unique_ptr<EventWatch>> waiting_;  // null once its action is due
  bool out_open_ = true, err_open_ = true;
  double last_data_ms_ = 0;
  bool quitting_ = false;
  bool killed_ = false;
  double kill_at_ms_ = 0;
  Reactor reactor_;
  ClientSources gpio_clients_, strip_clients_, lens_clients_;
  GpioHandOver hand_over_;
};

}  // namespace kivsim
