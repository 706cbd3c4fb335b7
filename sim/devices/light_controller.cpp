// SPDX-License-Identifier: MIT
#include "light_controller.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

namespace kivsim {
namespace {

using Clock = std::chrono::steady_clock;

// A bound on one read_line, so that a flood on the line cannot starve a
// caller that also serves other sources.
constexpr int kReadRounds = 16;

int ms_until(Clock::time_point end) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

const char* on_off(bool on) {
  return on ? "on" : "off";
}

// Sets `field` to `to` and notes the change, if any, as "<name> <from> -> <to>".
template <typename T, typename Show>
void change(std::vector<std::string>& changes, const std::string& name, T& field, T to, Show show) {
  if (field == to)
    return;
  changes.push_back(name + " " + show(field) + " -> " + show(to));
  field = to;
}

std::string number(int n) {
  return std::to_string(n);
}

std::string switched(bool on) {
  return on_off(on);
}

}  // namespace

LightController::LightController(int line_fd) : fd_(line_fd) {}

void LightController::receive(const char* data, size_t len) {
  decoder_.feed(data, len, decoded_);
  for (const LightFrame& f : decoded_)
    apply(f);
  decoded_.clear();
}

void LightController::finish() {
  decoder_.finish(decoded_);
  for (const LightFrame& f : decoded_)
    apply(f);
  decoded_.clear();
}

void LightController::apply(const LightFrame& frame) {
  LightEvent event;
  event.frame = frame;
  std::vector<std::string>& changes = event.changes;
  LightControllerState& s = state_;
  ++s.frames;
  if (!frame.known) {
    ++s.unknown_frames;
  } else if (frame.bytes.size() == 6) {
    int value = static_cast<unsigned char>(frame.bytes[2]) * 256 +
                static_cast<unsigned char>(frame.bytes[3]);
    change(changes, "brightness", s.brightness, value, number);
  } else {
    const char cmd = frame.bytes[0];
    const int arg = static_cast<unsigned char>(frame.bytes[2]);
    if (cmd >= '1' && cmd <= '4') {
      const int channel = cmd - '0';
      change(changes, "channel " + number(channel), s.channel_on[channel - 1], arg == '1',
             switched);
    } else if (cmd == '5') {
      change(changes, "work mode", s.work_mode, arg, number);
    } else if (cmd == '6') {
      change(changes, "flashes", s.flashes, s.flashes + 1, number);
    } else if (cmd == '7') {
      change(changes, "flash count", s.flash_count, arg, number);
    } else if (cmd == '8') {
      change(changes, "flash time", s.flash_time, arg, number);
    } else if (cmd == '9') {
      change(changes, "light", s.light_on, arg == 1, switched);
    }
  }
  event.after = state_;
  events_.push_back(std::move(event));
}

bool LightController::read_line(int wait_ms) {
  if (fd_ < 0)
    return false;
  bool got = false;
  char buf[4096];
  for (int round = 0; round < kReadRounds; ++round) {
    pollfd p{fd_, POLLIN, 0};
    int ready = poll(&p, 1, round == 0 ? wait_ms : 0);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0 || (p.revents & POLLIN) == 0)
      break;
    ssize_t n = read(fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    got = true;
    receive(buf, static_cast<size_t>(n));
  }
  return got;
}

std::vector<LightEvent> LightController::take_events() {
  std::vector<LightEvent> out;
  out.swap(events_);
  return out;
}

std::vector<LightEvent> LightController::collect(size_t frames, int quiet_ms, int timeout_ms) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (events_.size() < frames && ms_until(end) > 0)
    read_line(ms_until(end));
  while (read_line(quiet_ms)) {
  }
  finish();
  return take_events();
}

bool LightController::send(const std::string& bytes) {
  const Clock::time_point end = Clock::now() + std::chrono::seconds(1);
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = write(fd_, bytes.data() + off, bytes.size() - off);
    if (n > 0) {
      off += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    pollfd p{fd_, POLLOUT, 0};
    if (n < 0 && errno == EAGAIN && poll(&p, 1, ms_until(end)) > 0)
      continue;
    return false;
  }
  return true;
}

std::string describe_light_state(const LightControllerState& s) {
  std::string channels;
  for (int i = 0; i < 4; ++i)
    if (s.channel_on[i])
      channels += " " + number(i + 1);
  return "channels on:" + (channels.empty() ? std::string(" none") : channels) + "; work mode " +
         number(s.work_mode) + "; light " + on_off(s.light_on) + "; flash count " +
         number(s.flash_count) + ", time " + number(s.flash_time) + ", " + number(s.flashes) +
         (s.flashes == 1 ? " flash" : " flashes") + "; brightness " + number(s.brightness);
}

std::string frames_hex(const std::vector<LightEvent>& events) {
  std::string out;
  for (const LightEvent& e : events)
    out += (out.empty() ? "" : " | ") + frame_hex(e.frame.bytes);
  return out;
}

}  // namespace kivsim
