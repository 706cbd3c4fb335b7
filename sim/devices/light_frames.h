// SPDX-License-Identifier: MIT
// The light controller's side of "/dev/com2": cuts the byte stream into
// frames and says what each one asks for. A command frame is 5 bytes (command,
// '-', argument, CR, LF); the brightness frame is 6 ('C', '-', high, low, CR,
// LF). Argument bytes are never escaped, so a frame is recognised by its shape,
// not by searching for CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kivsim {

struct LightFrame {
  std::string bytes;
  std::string meaning;  // "channel 2 on", "brightness 24", "unknown command 41, argument 05", ...
  bool known = true;    // false for an unknown command and for bytes that form no frame
};

// "43 2D 00 18": upper-case hex, one blank between bytes.
std::string frame_hex(const std::string& bytes);

// What a complete command or brightness frame asks for.
LightFrame describe_light_frame(const std::string& frame);

class LightFrameDecoder {
 public:
  // Takes bytes as they arrive; appends every frame they complete to `out`.
  // Bytes that cannot start a frame come out together as one unknown entry
  // when the next frame begins (or at `finish`).
  void feed(const char* data, size_t len, std::vector<LightFrame>& out);
  // Hands out a frame left unfinished (the line went quiet or closed).
  void finish(std::vector<LightFrame>& out);
  // True while bytes wait for more to come (a frame begun, stray bytes).
  bool has_partial() const { return !buf_.empty() || !junk_.empty(); }

 private:
  static constexpr size_t kMaxJunk = 64;
  void flush_junk(std::vector<LightFrame>& out);
  // 0: not enough bytes yet; -1: buf_[0] starts no frame; else the frame length.
  int frame_length() const;
  std::string buf_;
  std::string junk_;
};

}  // namespace kivsim
