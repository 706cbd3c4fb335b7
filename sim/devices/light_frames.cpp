// SPDX-License-Identifier: MIT
#include "light_frames.h"

#include <cstdio>

namespace kivsim {
namespace {

std::string byte_hex(unsigned char c) {
  return frame_hex(std::string(1, static_cast<char>(c)));
}

}  // namespace

std::string frame_hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    if (!out.empty())
      out += ' ';
    out += buf;
  }
  return out;
}

LightFrame describe_light_frame(const std::string& frame) {
  LightFrame f;
  f.bytes = frame;
  auto cmd = static_cast<unsigned char>(frame[0]);
  auto arg = static_cast<unsigned char>(frame[2]);
  std::string a = byte_hex(arg);
  if (frame.size() == 6) {
    int value = static_cast<unsigned char>(frame[2]) * 256 + static_cast<unsigned char>(frame[3]);
    f.meaning = "brightness " + std::to_string(value);
    if (value < 20 || value > 479)
      f.meaning += " (outside 20..479)";
    return f;
  }
  switch (cmd) {
    case '1':
    case '2':
    case '3':
    case '4': {
      std::string ch = "channel " + std::string(1, static_cast<char>(cmd));
      if (arg == '1' || arg == '0') {
        f.meaning = ch + (arg == '1' ? " on" : " off");
      } else {
        f.meaning = ch + ", argument " + a + " (neither on nor off)";
        f.known = false;
      }
      return f;
    }
    case '5':
      f.meaning = "work mode " + std::to_string(arg);
      return f;
    case '6':
      f.meaning = arg == '1' ? "flash" : "flash, argument " + a;
      return f;
    case '7':
      f.meaning = "flash count " + std::to_string(arg);
      return f;
    case '8':
      f.meaning = "flash time " + std::to_string(arg);
      return f;
    case '9':
      if (arg <= 1) {
        f.meaning = arg == 1 ? "light on" : "light off";
      } else {
        f.meaning = "light, argument " + a + " (neither on nor off)";
        f.known = false;
      }
      return f;
    default:
      f.meaning = "unknown command " + byte_hex(cmd) + ", argument " + a;
      f.known = false;
      return f;
  }
}

int LightFrameDecoder::frame_length() const {
  size_t n = buf_.size();
  if (n >= 2 && buf_[1] != '-')
    return -1;
  if (n < 5)
    return 0;
  bool ends5 = buf_[3] == '\r' && buf_[4] == '\n';
  if (buf_[0] != 'C')
    return ends5 ? 5 : -1;
  // A brightness frame has CR at byte 4, a 5-byte frame has LF there, so the
  // two shapes part at the fifth byte.
  if (ends5)
    return 5;
  if (buf_[4] != '\r')
    return -1;
  if (n < 6)
    return 0;
  return buf_[5] == '\n' ? 6 : -1;
}

void LightFrameDecoder::flush_junk(std::vector<LightFrame>& out) {
  if (junk_.empty())
    return;
  LightFrame f;
  f.bytes = junk_;
  f.meaning = "not a frame";
  f.known = false;
  out.push_back(f);
  junk_.clear();
}

void LightFrameDecoder::feed(const char* data, size_t len, std::vector<LightFrame>& out) {
  buf_.append(data, len);
  while (!buf_.empty()) {
    int n = frame_length();
    if (n == 0)
      break;
    if (n < 0) {
      // Stray bytes are gathered until a frame starts again, so one run of
      // them is shown once, however the reads cut it.
      junk_ += buf_[0];
      buf_.erase(0, 1);
      continue;
    }
    flush_junk(out);
    out.push_back(describe_light_frame(buf_.substr(0, static_cast<size_t>(n))));
    buf_.erase(0, static_cast<size_t>(n));
  }
  if (junk_.size() >= kMaxJunk)
    flush_junk(out);
}

void LightFrameDecoder::finish(std::vector<LightFrame>& out) {
  flush_junk(out);
  if (buf_.empty())
    return;
  LightFrame f;
  f.bytes = buf_;
  f.meaning = "unfinished frame";
  f.known = false;
  out.push_back(f);
  buf_.clear();
}

}  // namespace kivsim
