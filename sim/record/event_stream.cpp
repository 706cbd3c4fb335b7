// SPDX-License-Identifier: MIT
#include "event_stream.h"

#include <chrono>
#include <ctime>
#include <iterator>

namespace kivsim {

EventStream::EventStream(int64_t hold_ns) : hold_ns_(hold_ns), origin_(now_mono_ns()) {}

int64_t EventStream::now_mono_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void EventStream::set_origin(int64_t mono_ns) {
  origin_.store(mono_ns);
}

int64_t EventStream::origin_mono_ns() const {
  return origin_.load();
}

void EventStream::post(Event event) {
  for (const Annotator& annotate : annotators_)
    annotate(event);
  if (event.time_ns < last_published_ns_) {
    // Its place has been passed already: say so rather than claim an order.
    event.late = true;
    publish(event);
    return;
  }
  // Mostly in order: search from the back.
  auto at = held_.end();
  while (at != held_.begin() && std::prev(at)->time_ns > event.time_ns)
    --at;
  held_.insert(at, std::move(event));
}

void EventStream::release(int64_t now_mono) {
  const int64_t limit = since_origin(now_mono) - hold_ns_;
  while (!held_.empty() && held_.front().time_ns <= limit) {
    Event e = std::move(held_.front());
    held_.pop_front();
    publish(e);
  }
}

void EventStream::flush() {
  while (!held_.empty()) {
    Event e = std::move(held_.front());
    held_.pop_front();
    publish(e);
  }
}

long EventStream::release_in_ms(int64_t now_mono) const {
  if (held_.empty())
    return -1;
  int64_t due = held_.front().time_ns + hold_ns_ - since_origin(now_mono);
  return due <= 0 ? 0 : static_cast<long>((due + 999999) / 1000000);
}

void EventStream::close() {
  flush();
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

void EventStream::subscribe(Reader reader) {
  readers_.push_back(std::move(reader));
}

void EventStream::annotate(Annotator annotator) {
  annotators_.push_back(std::move(annotator));
}

void EventStream::publish(Event& event) {
  event.seq = next_seq_++;
  if (event.time_ns > last_published_ns_)
    last_published_ns_ = event.time_ns;
  {
    // The state and the events kept change together, so that a reader on
    // another thread sees the state of exactly the events it can take.
    std::lock_guard<std::mutex> lock(mutex_);
    event.changes = fold_event(state_, event);
    folded_seq_ = event.seq;
    kept_.push_back(event);
    if (kept_.size() > kKeep)
      kept_.pop_front();
    changed_.notify_all();
  }
  for (const Reader& reader : readers_)
    reader(event);
}

bool EventStream::wait_events(uint64_t after, std::vector<Event>& out, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto has_new = [&] { return !kept_.empty() && kept_.back().seq > after; };
  if (!has_new() && !closed_)
    changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return has_new() || closed_; });
  if (!has_new())
    return !closed_;
  // Sequence numbers run without holes through kept_.
  uint64_t first = kept_.front().seq;
  size_t from = after < first ? 0 : static_cast<size_t>(after - first + 1);
  for (size_t i = from; i < kept_.size(); ++i)
    out.push_back(kept_[i]);
  return true;
}

DeviceState EventStream::state(uint64_t* seq) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (seq)
    *seq = folded_seq_;
  return state_;
}

bool EventStream::closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

}  // namespace kivsim
