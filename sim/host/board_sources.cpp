// SPDX-License-Identifier: MIT
// What the run's reactor watches: the program's output, the serial lines, the
// stand-ins' and the I2C layer's sockets, the commands typed or sent by the
// view, the launcher's signals; and the deadlines that bound each wait.
#include <poll.h>

#include "board_run_internal.h"

namespace kivsim {
namespace {

// An unfinished line or frame is shown once its source has been quiet this long.
constexpr double kQuietMs = 200;

}  // namespace

void BoardRun::watch_sources() {
  watch_program_output();
  watch_links();
  reactor_.add("com1", com1_.fd(), POLLIN, kPorts, [this](short revents) {
    if (revents & POLLIN)
      com1_.on_readable(log_);
  });
  reactor_.add("com2", com2_.fd(), POLLIN, kPorts, [this](short revents) {
    if (revents & POLLIN) {
      com2_.on_readable(log_);
      last_data_ms_ = now_ms();
    }
  });
  watch_command_sources();
  reactor_.add("signals", s_.signal_fd, POLLIN, kSignals, [this](short revents) {
    if (revents & POLLIN)
      on_signal();
  });
}

void BoardRun::watch_program_output() {
  out_open_ = child_.out_fd() >= 0;
  if (out_open_)
    reactor_.add("program stdout", child_.out_fd(), POLLIN, kProgramOutput, [this](short) {
      out_open_ = out_.on_readable(child_.out_fd(), log_);
      last_data_ms_ = now_ms();
      if (!out_open_)
        reactor_.remove("program stdout");
    });
  reactor_.add("program stderr", child_.err_fd(), POLLIN, kProgramOutput, [this](short) {
    err_open_ = err_.on_readable(child_.err_fd(), log_);
    last_data_ms_ = now_ms();
    if (!err_open_)
      reactor_.remove("program stderr");
  });
}

void BoardRun::watch_links() {
  reactor_.add("gpio listener", s_.gpio->listen_fd(), POLLIN, kGpioListener, [this](short revents) {
    if (!(revents & POLLIN))
      return;
    std::string note;
    if (!accept_gpio(note))
      log_.note(EventSource::kGpio, EventKind::kNote, note);
    gpio_clients_.follow(s_.gpio->client_fds());
  });
  if (s_.strip) {
    reactor_.add("strip listener", s_.strip->listen_fd(), POLLIN, kStripListener,
                 [this](short revents) {
                   if (!(revents & POLLIN))
                     return;
                   std::string note;
                   if (!s_.strip->accept_client(note))
                     log_.note(EventSource::kStrip, EventKind::kNote, note);
                   strip_clients_.follow(strip_client_fds());
                 });
  }
  reactor_.add("lens listener", s_.lens->listen_fd(), POLLIN, kLensListener, [this](short revents) {
    if (!(revents & POLLIN))
      return;
    s_.lens->accept_client(log_);
    lens_clients_.follow(s_.lens->client_fds());
  });
}

void BoardRun::watch_command_sources() {
  if (typed_.fd() >= 0) {
    reactor_.add("typed commands", typed_.fd(), POLLIN, kTypedCommands, [this](short) {
      typed_.on_readable(now_ms(), log_);
      run_due_commands();
      if (typed_.fd() < 0)
        reactor_.remove("typed commands");
    });
  }
  if (s_.commands && s_.commands->command_fd() >= 0) {
    reactor_.add("view commands", s_.commands->command_fd(), POLLIN, kViewCommands,
                 [this](short revents) {
                   if (revents & POLLIN)
                     run_source_commands();
                 });
  }
}

void BoardRun::add_deadlines() {
  // In the order in which the loop has always settled them: what went quiet
  // and what was held, then the commands due, then the grace of a quit.
  reactor_.add_deadline([this] { return quiet_due_in(); }, [this] { flush_quiet_partials(); });
  reactor_.add_deadline(
      [this]() -> std::optional<double> {
        long release = log_.stream().release_in_ms(EventStream::now_mono_ns());
        if (release < 0)
          return std::nullopt;
        return static_cast<double>(release);
      },
      [this] { log_.stream().release(EventStream::now_mono_ns()); });
  reactor_.add_deadline([this] { return commands_due_in(); }, [this] { run_due_commands(); });
  reactor_.add_deadline([this] { return kill_due_in(); }, [this] { kill_after_grace(); });
}

std::optional<double> BoardRun::quiet_due_in() const {
  if (!com2_.has_partial() && !out_.has_partial() && !err_.has_partial())
    return std::nullopt;
  return last_data_ms_ + kQuietMs - now_ms();
}

void BoardRun::flush_quiet_partials() {
  if (now_ms() - last_data_ms_ < kQuietMs)
    return;
  com2_.finish(log_);
  out_.finish(log_);
  err_.finish(log_);
}

}  // namespace kivsim
