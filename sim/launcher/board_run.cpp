// SPDX-License-Identifier: MIT
#include "board_run.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "child_process.h"
#include "command_queue.h"
#include "controller_peer.h"
#include "event_log.h"
#include "gpio_events.h"
#include "led_text.h"
#include "port_peer.h"
#include "program_output.h"
#include "strip_events.h"
#include "typed_commands.h"

namespace kivsim {
namespace {

// An unfinished line or frame is shown once its source has been quiet this long.
constexpr double kQuietMs = 200;

class BoardRun {
 public:
  explicit BoardRun(const RunSetup& s)
      : s_(s), log_(*s.stream), com1_("com1", s.com1_fd), com2_(s.com2_fd), typed_(s.input_fd) {}

  int run();

 private:
  double now_ms() const { return log_.elapsed() * 1000.0; }
  void run_due_commands();
  void execute(const Command& cmd);
  void start_quit(const char* why);
  int poll_timeout();
  void poll_once();
  void on_signal();
  void on_gpio_client(int fd);
  void on_strip_client(int fd);
  std::vector<int> strip_client_fds() const;
  void flush_quiet_partials();
  void drain_after_end();
  void accept_waiting(GpioServer& server, EventSource source);
  void show_summary();
  void end_run(int status);
  void run_source_commands();
  // Stamps a stand-in's report with its own time, or now when it has none.
  Event report_event(EventSource source, std::string& line);

  const RunSetup& s_;
  EventLog log_;
  ChildProcess child_;
  PortPeer com1_;
  ControllerPeer com2_;
  ProgramOutput out_{EventKind::kOut}, err_{EventKind::kErr};
  CommandQueue script_;
  TypedCommands typed_;
  bool out_open_ = true, err_open_ = true;
  double last_data_ms_ = 0;
  bool quitting_ = false;
  bool killed_ = false;
  double kill_at_ms_ = 0;
};

int BoardRun::run() {
  log_.restart();
  std::string error;
  if (!child_.start(s_.program, s_.env, error)) {
    log_.line("error: " + error);
    int status = child_.exec_failed() ? 127 : 1;
    end_run(status);
    return status;
  }
  log_.note(EventSource::kSim, EventKind::kStart,
            "started " + s_.program[0] + " (pid " + std::to_string(child_.pid()) + ")");
  for (const Command& c : s_.script)
    script_.push(c, 0);
  while (!child_.reap()) {
    run_due_commands();
    if (child_.ended())
      break;
    poll_once();
  }
  drain_after_end();
  if (!script_.empty())
    log_.line("the program ended before the script did");
  log_.line("program " + child_.status_text());
  show_summary();
  end_run(child_.exit_code());
  return child_.exit_code();
}

void BoardRun::end_run(int status) {
  Event e = log_.make(EventSource::kSim, EventKind::kExit, "exit status " + std::to_string(status));
  e.result = status;
  log_.post(std::move(e));
  log_.stream().close();
}

Event BoardRun::report_event(EventSource source, std::string& line) {
  int64_t mono = 0;
  bool stamped = take_stamp(line, mono);
  Event e = log_.make(source, EventKind::kUnknown, "",
                      stamped ? EventTiming::kSource : EventTiming::kArrival);
  if (stamped)
    e.time_ns = log_.stream().since_origin(mono);
  return e;
}

void BoardRun::run_due_commands() {
  Command cmd;
  while (script_.take_due(now_ms(), cmd))
    execute(cmd);
  while (typed_.queue().take_due(now_ms(), cmd))
    execute(cmd);
  if (quitting_ && !killed_ && now_ms() >= kill_at_ms_) {
    killed_ = true;
    log_.line("the program is still running: SIGKILL");
    child_.signal_group(SIGKILL);
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
      std::string line =
          (edge ? "edge " : "level ") + std::to_string(cmd.pin) + " " + std::to_string(cmd.level);
      e.sent = s_.gpio->send_line(line) > 0;
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

void BoardRun::start_quit(const char* why) {
  if (quitting_) {
    if (!killed_) {
      killed_ = true;
      log_.line(std::string(why) + " again: SIGKILL to the program");
      child_.signal_group(SIGKILL);
    }
    return;
  }
  quitting_ = true;
  kill_at_ms_ = now_ms() + static_cast<double>(s_.grace_ms);
  log_.line(std::string(why) + ": SIGTERM to the program");
  child_.signal_group(SIGTERM);
}

int BoardRun::poll_timeout() {
  double now = now_ms();
  double wait = -1;
  auto consider = [&](double ms) {
    if (ms < 0)
      ms = 0;
    if (wait < 0 || ms < wait)
      wait = ms;
  };
  long due = script_.due_in(now);
  if (due >= 0)
    consider(static_cast<double>(due));
  due = typed_.queue().due_in(now);
  if (due >= 0)
    consider(static_cast<double>(due));
  if (quitting_ && !killed_)
    consider(kill_at_ms_ - now);
  if (com2_.has_partial() || out_.has_partial() || err_.has_partial())
    consider(last_data_ms_ + kQuietMs - now);
  long release = log_.stream().release_in_ms(EventStream::now_mono_ns());
  if (release >= 0)
    consider(static_cast<double>(release));
  return wait < 0 ? -1 : static_cast<int>(std::min(wait + 1, 60000.0));
}

void BoardRun::poll_once() {
  std::vector<pollfd> fds;
  fds.push_back({s_.signal_fd, POLLIN, 0});
  fds.push_back({typed_.fd(), POLLIN, 0});  // a negative descriptor is skipped
  fds.push_back({s_.gpio->listen_fd(), POLLIN, 0});
  fds.push_back({com1_.fd(), POLLIN, 0});
  fds.push_back({com2_.fd(), POLLIN, 0});
  fds.push_back({out_open_ ? child_.out_fd() : -1, POLLIN, 0});
  fds.push_back({err_open_ ? child_.err_fd() : -1, POLLIN, 0});
  const size_t first_client = fds.size();
  for (int fd : s_.gpio->client_fds())
    fds.push_back({fd, POLLIN, 0});
  const size_t strip_listen = fds.size();
  fds.push_back({s_.strip ? s_.strip->listen_fd() : -1, POLLIN, 0});
  const size_t first_strip_client = fds.size();
  for (int fd : strip_client_fds())
    fds.push_back({fd, POLLIN, 0});
  const size_t first_lens = fds.size();
  fds.push_back({s_.lens->listen_fd(), POLLIN, 0});
  for (int fd : s_.lens->client_fds())
    fds.push_back({fd, POLLIN, 0});
  const size_t commands_index = fds.size();
  fds.push_back({s_.commands ? s_.commands->command_fd() : -1, POLLIN, 0});

  int n = poll(fds.data(), fds.size(), poll_timeout());
  if (n < 0 && errno != EINTR) {
    log_.line("error: poll failed, ending the program");
    child_.signal_group(SIGKILL);
  }
  if (n <= 0) {
    flush_quiet_partials();
    log_.stream().release(EventStream::now_mono_ns());
    return;
  }
  // POLLNVAL too: a descriptor that went bad must not keep poll spinning.
  const short ready = POLLIN | POLLHUP | POLLERR | POLLNVAL;
  // The program's own output first: it usually says what it is about to do.
  if (fds[5].revents & ready) {
    out_open_ = out_.on_readable(child_.out_fd(), log_);
    last_data_ms_ = now_ms();
  }
  if (fds[6].revents & ready) {
    err_open_ = err_.on_readable(child_.err_fd(), log_);
    last_data_ms_ = now_ms();
  }
  for (size_t i = first_client; i < strip_listen; ++i)
    if (fds[i].revents & ready)
      on_gpio_client(fds[i].fd);
  for (size_t i = first_strip_client; i < first_lens; ++i)
    if (fds[i].revents & ready)
      on_strip_client(fds[i].fd);
  if (fds[strip_listen].revents & POLLIN) {
    std::string note;
    if (!s_.strip->accept_client(note))
      log_.note(EventSource::kStrip, EventKind::kNote, note);
  }
  // Clients before a new one: accepting changes the list their descriptors came from.
  for (size_t i = first_lens + 1; i < commands_index; ++i)
    if (fds[i].revents & ready)
      s_.lens->on_readable(fds[i].fd, log_);
  if (fds[first_lens].revents & POLLIN)
    s_.lens->accept_client(log_);
  if (fds[2].revents & POLLIN) {
    std::string note;
    if (!s_.gpio->accept_client(note))
      log_.note(EventSource::kGpio, EventKind::kNote, note);
  }
  if (fds[3].revents & POLLIN)
    com1_.on_readable(log_);
  if (fds[4].revents & POLLIN) {
    com2_.on_readable(log_);
    last_data_ms_ = now_ms();
  }
  if (fds[1].revents & ready) {
    typed_.on_readable(now_ms(), log_);
    run_due_commands();
  }
  if (fds[commands_index].revents & POLLIN)
    run_source_commands();
  if (fds[0].revents & POLLIN)
    on_signal();
  flush_quiet_partials();
  log_.stream().release(EventStream::now_mono_ns());
}

void BoardRun::run_source_commands() {
  Command cmd;
  while (s_.commands->take_command(cmd))
    execute(cmd);
}

void BoardRun::flush_quiet_partials() {
  if (now_ms() - last_data_ms_ < kQuietMs)
    return;
  com2_.finish(log_);
  out_.finish(log_);
  err_.finish(log_);
}

void BoardRun::on_signal() {
  signalfd_siginfo info;
  while (read(s_.signal_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    if (info.ssi_signo == SIGCHLD) {
      child_.reap();
    } else {
      start_quit(strsignal(static_cast<int>(info.ssi_signo)));
    }
  }
}

void BoardRun::on_gpio_client(int fd) {
  std::vector<std::string> lines;
  bool open = s_.gpio->read_client(fd, lines);
  for (std::string& line : lines) {
    Event e = report_event(EventSource::kGpio, line);
    read_gpio_report(line, e);
    log_.post(std::move(e));
  }
  if (!open)
    log_.note(EventSource::kGpio, EventKind::kNote, "the stand-in closed its connection");
}

std::vector<int> BoardRun::strip_client_fds() const {
  return s_.strip ? s_.strip->client_fds() : std::vector<int>();
}

void BoardRun::on_strip_client(int fd) {
  std::vector<std::string> lines;
  bool open = s_.strip->read_client(fd, lines);
  for (std::string& line : lines) {
    Event e = report_event(EventSource::kStrip, line);
    read_strip_report(line, e);
    log_.post(std::move(e));
  }
  if (!open)
    log_.note(EventSource::kStrip, EventKind::kNote, "the stand-in closed its connection");
}

void BoardRun::accept_waiting(GpioServer& server, EventSource source) {
  pollfd p{server.listen_fd(), POLLIN, 0};
  while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
    std::string note;
    if (!server.accept_client(note)) {
      log_.note(source, EventKind::kNote, note);
      return;
    }
  }
}

void BoardRun::drain_after_end() {
  while (out_open_ && child_.out_fd() >= 0) {
    bool open = out_.on_readable(child_.out_fd(), log_);
    if (!open)
      break;
    pollfd p{child_.out_fd(), POLLIN, 0};
    if (poll(&p, 1, 0) <= 0)
      break;  // a descendant still holds it: nothing more now
  }
  while (err_open_ && child_.err_fd() >= 0) {
    bool open = err_.on_readable(child_.err_fd(), log_);
    if (!open)
      break;
    pollfd p{child_.err_fd(), POLLIN, 0};
    if (poll(&p, 1, 0) <= 0)
      break;
  }
  // A program that ends within a few milliseconds may have connected its
  // stand-ins while the loop was not looking: their reports wait in
  // connections not accepted yet.
  accept_waiting(*s_.gpio, EventSource::kGpio);
  if (s_.strip)
    accept_waiting(*s_.strip, EventSource::kStrip);
  for (int fd : s_.gpio->client_fds())
    on_gpio_client(fd);
  for (int fd : strip_client_fds())
    on_strip_client(fd);
  for (int fd : s_.lens->client_fds())
    s_.lens->on_readable(fd, log_);
  com1_.on_readable(log_);
  com2_.on_readable(log_);
  com2_.finish(log_);
  out_.finish(log_);
  err_.finish(log_);
  child_.close_output();
}

void BoardRun::show_summary() {
  // The summary is of every event: the ones still held go out first.
  log_.stream().flush();
  const DeviceState state = log_.stream().state();
  log_.line("outputs: " + outputs_summary(state));
  const LightControllerState& light = com2_.state();
  log_.line("com2: " + std::to_string(light.frames) + " frames received (" +
            std::to_string(light.unknown_frames) +
            " unknown); com1: " + std::to_string(state.com1_bytes) + " bytes received");
  log_.line("light controller: " + describe_light_state(light));
  log_.line("gpio: " + std::to_string(state.edges_raised) + " edges raised, " +
            std::to_string(state.handlers_run) + " handlers run" +
            (state.reports_lost > 0 ? ", " + std::to_string(state.reports_lost) +
                                          " reports lost (counts may be short; levels are right)"
                                    : std::string()));
  if (state.renders > 0 || state.strip_faults > 0)
    log_.line("strip: " + std::to_string(state.renders) + " renders, last " +
              strip_colours_text(state.leds) +
              (state.strip_faults ? ", " + std::to_string(state.strip_faults) + " FAULTS" : ""));
  log_.line("i2c: " + s_.lens->summary());
}

}  // namespace

int run_on_board(const RunSetup& setup) {
  BoardRun board_run(setup);
  return board_run.run();
}

}  // namespace kivsim
