// SPDX-License-Identifier: MIT
// The run's life: the program's start, the loop until it ends, its quit (SIGTERM,
// then SIGKILL after the grace), and what is read and shown after its end.
#include "board_run.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstring>

#include "board_run_internal.h"

namespace kivsim {

BoardRun::BoardRun(const RunSetup& s)
    : s_(s),
      log_(*s.stream),
      com1_("com1", s.com1_fd),
      com2_(s.com2_fd),
      typed_(s.input_fd),
      reactor_([this](const std::string& message) { log_.line("error: " + message); }),
      gpio_clients_(reactor_, "gpio", kGpioClients,
                    [this](int fd) {
                      on_gpio_client(fd);
                      gpio_clients_.follow(s_.gpio->client_fds());
                    }),
      strip_clients_(reactor_, "strip", kStripClients,
                     [this](int fd) {
                       on_strip_client(fd);
                       strip_clients_.follow(strip_client_fds());
                     }),
      lens_clients_(reactor_, "lens", kLensClients, [this](int fd) {
        s_.lens->on_readable(fd, log_);
        lens_clients_.follow(s_.lens->client_fds());
      }) {}

int BoardRun::run() {
  log_.restart();
  watch_waiting_actions();
  std::string error;
  if (s_.pass_through)
    child_.pass_terminal_through();
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
  watch_sources();
  add_deadlines();
  while (!child_.reap()) {
    if (!reactor_.run_once()) {
      log_.line("error: poll failed, ending the program");
      child_.signal_group(SIGKILL);
    }
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

std::optional<double> BoardRun::kill_due_in() const {
  if (!quitting_ || killed_ || child_.ended())
    return std::nullopt;
  return kill_at_ms_ - now_ms();
}

void BoardRun::kill_after_grace() {
  killed_ = true;
  log_.line("the program is still running: SIGKILL");
  child_.signal_group(SIGKILL);
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
  drain_links();
  com1_.on_readable(log_);
  com2_.on_readable(log_);
  com2_.finish(log_);
  out_.finish(log_);
  err_.finish(log_);
  child_.close_output();
}

int run_on_board(const RunSetup& setup) {
  BoardRun board_run(setup);
  return board_run.run();
}

}  // namespace kivsim
