// SPDX-License-Identifier: MIT
#include "view_hub.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "device_json.h"

namespace kivsim {

ViewHub::ViewHub() : wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ViewHub::~ViewHub() {
  if (wake_fd_ >= 0)
    ::close(wake_fd_);
}

void ViewHub::on_event(double seconds, const char* tag, const std::string& text) {
  nlohmann::json event = {{"t", seconds}, {"source", tag}, {"text", text}};
  std::lock_guard<std::mutex> lock(mutex_);
  event["seq"] = next_seq_++;
  // Program output may hold any bytes: invalid UTF-8 becomes U+FFFD, not an exception.
  events_.push_back(event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  if (events_.size() > kMaxEvents) {
    events_.pop_front();
    ++first_seq_;
  }
  changed_.notify_all();
}

void ViewHub::on_state(const DeviceSnapshot& snapshot) {
  publish_state_json(device_json(snapshot));
}

void ViewHub::publish_state_json(const std::string& json) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (json == state_)
    return;
  state_ = json;
  ++state_version_;
  changed_.notify_all();
}

std::string ViewHub::state() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

ViewHub::Update ViewHub::wait_update(uint64_t after, uint64_t state_version, int wait_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto has_news = [&] {
    return closed_ || after + 1 < next_seq_ || state_version_ != state_version;
  };
  changed_.wait_for(lock, std::chrono::milliseconds(wait_ms), has_news);
  Update update;
  update.closed = closed_;
  update.last_seq = after;
  uint64_t from = after + 1;
  if (from < first_seq_) {
    update.dropped = first_seq_ - from;
    from = first_seq_;
  }
  for (uint64_t seq = from; seq < next_seq_; ++seq)
    update.events.push_back(events_[seq - first_seq_]);
  if (next_seq_ > from)
    update.last_seq = next_seq_ - 1;
  if (state_version_ != state_version)
    update.state = state_;
  update.state_version = state_version_;
  return update;
}

bool ViewHub::post_command(const Command& cmd) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || commands_.size() >= kMaxCommands)
      return false;
    commands_.push_back(cmd);
  }
  uint64_t one = 1;
  // The counter cannot overflow here: the loop drains it long before.
  return write(wake_fd_, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

bool ViewHub::take_command(Command& cmd) {
  uint64_t count = 0;
  while (read(wake_fd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (commands_.empty())
    return false;
  cmd = commands_.front();
  commands_.pop_front();
  return true;
}

void ViewHub::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

}  // namespace kivsim
