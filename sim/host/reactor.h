// SPDX-License-Identifier: MIT
// The host's event loop: descriptors watched under names, each with its
// handler, and deadlines that bound the wait. One thread calls run_once()
// again and again; sources come and go between and during its steps.
//
// Ready sources are handled in ascending `order`, those of one order in the
// order they were added, so a caller states which source goes first (the
// program's own output before the reports it explains, clients before a new
// one is accepted) instead of relying on where a descriptor happens to sit.
#pragma once

#include <poll.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kivsim {

class Reactor {
 public:
  // Gets the events poll reported for the source.
  using Handler = std::function<void(short revents)>;
  // Milliseconds until the deadline is due (0 or less: due now), or none.
  using DueIn = std::function<std::optional<double>()>;
  // Told when the reactor stops watching a source on its own, with the reason.
  using FaultSink = std::function<void(const std::string& message)>;

  // The longest a step waits while some deadline is pending.
  static constexpr int kMaxWaitMs = 60000;

  explicit Reactor(FaultSink on_fault) : on_fault_(std::move(on_fault)) {}
  Reactor(const Reactor&) = delete;
  Reactor& operator=(const Reactor&) = delete;

  // Watches `fd` for `events` under `name` (unique among the sources). A
  // source added by a handler is watched from the next step on.
  void add(std::string name, int fd, short events, int order, Handler handler);
  // Stops watching the source `name`; its handler is not called again, even
  // later in the step that is running. Safe from any handler, the source's own
  // included. False when no such source is watched.
  bool remove(const std::string& name);
  size_t size() const;

  // Calls `on_due` at the start of each step in which `due_in` says it is due;
  // deadlines fire in the order they were added. Added before the steps run,
  // never from a handler.
  void add_deadline(DueIn due_in, std::function<void()> on_due);

  // One step: fires the due deadlines, waits for the sources (no longer than
  // the next deadline), then hands each ready source to its handler. A source
  // whose descriptor is not open, or that hung up or failed without data and
  // was not removed by its handler, is dropped and reported: it would
  // otherwise make every later wait return at once. Returns false when poll
  // itself failed (errno says why).
  bool run_once();

 private:
  struct Source {
    std::string name;
    int fd;
    short events;
    int order;
    Handler handler;
    bool removed;
  };
  struct Deadline {
    DueIn due_in;
    std::function<void()> on_due;
  };
  void insert(Source source);
  int wait_ms() const;
  void dispatch();
  void drop_unhandled_hangup(size_t index, short revents);
  void settle();

  FaultSink on_fault_;
  std::vector<Source> sources_;  // in handling order; parallel to fds_
  std::vector<pollfd> fds_;
  std::vector<Source> added_;  // added while dispatching
  std::vector<Deadline> deadlines_;
  bool dispatching_ = false;
  bool changed_ = true;  // fds_ no longer mirrors sources_
};

}  // namespace kivsim
