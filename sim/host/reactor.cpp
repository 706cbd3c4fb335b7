// SPDX-License-Identifier: MIT
#include "reactor.h"

#include <algorithm>
#include <cerrno>

namespace kivsim {

void Reactor::add(std::string name, int fd, short events, int order, Handler handler) {
  Source source{std::move(name), fd, events, order, std::move(handler), false};
  // The handler running now lives in sources_: growing it would move that
  // handler from under its own feet.
  if (dispatching_)
    added_.push_back(std::move(source));
  else
    insert(std::move(source));
}

void Reactor::insert(Source source) {
  auto after = std::upper_bound(sources_.begin(), sources_.end(), source.order,
                                [](int order, const Source& s) { return order < s.order; });
  sources_.insert(after, std::move(source));
  changed_ = true;
}

bool Reactor::remove(const std::string& name) {
  for (auto it = sources_.begin(); it != sources_.end(); ++it) {
    if (it->removed || it->name != name)
      continue;
    if (dispatching_)
      it->removed = true;  // erased once the step's handlers have run
    else
      sources_.erase(it);
    changed_ = true;
    return true;
  }
  for (auto it = added_.begin(); it != added_.end(); ++it) {
    if (it->name == name) {
      added_.erase(it);
      return true;
    }
  }
  return false;
}

size_t Reactor::size() const {
  size_t watched = added_.size();
  for (const Source& s : sources_)
    watched += s.removed ? 0 : 1;
  return watched;
}

void Reactor::add_deadline(DueIn due_in, std::function<void()> on_due) {
  deadlines_.push_back({std::move(due_in), std::move(on_due)});
}

bool Reactor::run_once() {
  for (Deadline& d : deadlines_) {
    std::optional<double> due = d.due_in();
    if (due && *due <= 0)
      d.on_due();
  }
  if (changed_)
    settle();
  int n = poll(fds_.data(), fds_.size(), wait_ms());
  if (n < 0)
    return errno == EINTR;
  if (n > 0)
    dispatch();
  return true;
}

int Reactor::wait_ms() const {
  std::optional<double> wait;
  for (const Deadline& d : deadlines_) {
    std::optional<double> due = d.due_in();
    if (due && (!wait || *due < *wait))
      wait = std::max(*due, 0.0);
  }
  if (!wait)
    return -1;
  // poll counts whole milliseconds and would return just short of the
  // deadline: one more makes the step that follows find it due.
  return static_cast<int>(std::min(*wait + 1, static_cast<double>(kMaxWaitMs)));
}

void Reactor::dispatch() {
  dispatching_ = true;
  for (size_t i = 0; i < sources_.size(); ++i) {
    const short revents = fds_[i].revents;
    if (revents == 0 || sources_[i].removed)
      continue;
    if (revents & POLLNVAL) {
      sources_[i].removed = true;
      changed_ = true;
      on_fault_(sources_[i].name + ": descriptor " + std::to_string(sources_[i].fd) +
                " is not open: no longer watched");
      continue;
    }
    sources_[i].handler(revents);
    drop_unhandled_hangup(i, revents);
  }
  dispatching_ = false;
  if (changed_ || !added_.empty())
    settle();
}

void Reactor::drop_unhandled_hangup(size_t index, short revents) {
  Source& s = sources_[index];
  if (s.removed || (revents & POLLIN) || !(revents & (POLLHUP | POLLERR)))
    return;
  s.removed = true;
  changed_ = true;
  on_fault_(s.name + ((revents & POLLERR) ? " failed" : " hung up") + ": no longer watched");
}

void Reactor::settle() {
  sources_.erase(
      std::remove_if(sources_.begin(), sources_.end(), [](const Source& s) { return s.removed; }),
      sources_.end());
  for (Source& s : added_)
    insert(std::move(s));
  added_.clear();
  fds_.resize(sources_.size());
  for (size_t i = 0; i < sources_.size(); ++i)
    fds_[i] = {sources_[i].fd, sources_[i].events, 0};
  changed_ = false;
}

}  // namespace kivsim
