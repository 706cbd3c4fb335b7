// SPDX-License-Identifier: MIT
// The pieces every link's text lines are made of: the source time before a
// report ("@<ns> ", CLOCK_MONOTONIC nanoseconds), words split at single
// spaces, and numbers held to a range. Shared by the encoders and decoders of
// both ends, so that what one end writes is what the other reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kivsim {
namespace link {

// The time of a message that carries none.
constexpr int64_t kNoTime = -1;

// CLOCK_MONOTONIC now, in nanoseconds.
int64_t monotonic_ns();

// Writes "@<ns> " at `out`; returns its length, 0 when `room` is too small.
size_t put_stamp(int64_t ns, char* out, size_t room);
// Takes a leading "@<ns> " off `line` into `ns`; false (and `line` as it
// was) when it has none or a malformed one.
bool take_stamp(std::string_view& line, int64_t& ns);

// Appends to a fixed buffer; once something did not fit, `ok()` is false.
class LineWriter {
 public:
  LineWriter(char* out, size_t room) : out_(out), room_(room) {}
  LineWriter& text(std::string_view s);
  LineWriter& number(long long v);
  LineWriter& hex6(uint32_t v);  // six lower-case hexadecimal digits
  bool ok() const { return ok_; }
  size_t size() const { return used_; }
  // Ends the line with its newline; returns its length, or 0 when it did
  // not fit.
  size_t finish();

 private:
  char* out_;
  size_t room_;
  size_t used_ = 0;
  bool ok_ = true;
};

// Reads the space-separated words of a line in turn.
class WordReader {
 public:
  explicit WordReader(std::string_view line) : rest_(line) {}
  // The next word; false at the end of the line or at an empty word (two
  // spaces, or a space at either end).
  bool word(std::string_view& w);
  // The next word as a decimal number within [min, max].
  bool number(long long min, long long max, long long& v);
  template <typename T>
  bool number(long long min, long long max, T& v) {
    long long n = 0;
    if (!number(min, max, n))
      return false;
    v = static_cast<T>(n);
    return true;
  }
  // The next word as six hexadecimal digits.
  bool hex6(uint32_t& v);
  // What follows the next space (the rest of the line).
  bool rest(std::string_view& r);
  bool at_end() const { return ended_; }

 private:
  std::string_view rest_;
  bool ended_ = false;
};

}  // namespace link
}  // namespace kivsim
