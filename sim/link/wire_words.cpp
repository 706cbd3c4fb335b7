// SPDX-License-Identifier: MIT
#include "wire_words.h"

#include <cstring>
#include <ctime>

namespace kivsim {
namespace link {

int64_t monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

size_t put_stamp(int64_t ns, char* out, size_t room) {
  LineWriter w(out, room);
  w.text("@").number(ns).text(" ");
  return w.ok() ? w.size() : 0;
}

bool take_stamp(std::string_view& line, int64_t& ns) {
  if (line.size() < 3 || line[0] != '@')
    return false;
  size_t i = 1;
  int64_t value = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    const int digit = line[i] - '0';
    if (value > (INT64_MAX - digit) / 10)
      return false;  // no time the clock can have
    value = value * 10 + digit;
  }
  if (i == 1 || i >= line.size() || line[i] != ' ')
    return false;
  ns = value;
  line.remove_prefix(i + 1);
  return true;
}

LineWriter& LineWriter::text(std::string_view s) {
  if (!ok_ || s.size() > room_ - used_) {
    ok_ = false;
    return *this;
  }
  std::memcpy(out_ + used_, s.data(), s.size());
  used_ += s.size();
  return *this;
}

LineWriter& LineWriter::number(long long v) {
  char digits[24];
  size_t n = 0;
  // Counted in the negative range, which holds every value of long long.
  long long rest = v < 0 ? v : -v;
  do {
    digits[n++] = static_cast<char>('0' - rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (v < 0)
    digits[n++] = '-';
  char text[24];
  for (size_t i = 0; i < n; ++i)
    text[i] = digits[n - 1 - i];
  return this->text(std::string_view(text, n));
}

LineWriter& LineWriter::hex6(uint32_t v) {
  static const char kDigits[] = "0123456789abcdef";
  char text[6];
  for (int i = 5; i >= 0; --i, v >>= 4)
    text[i] = kDigits[v & 0xF];
  return this->text(std::string_view(text, sizeof text));
}

size_t LineWriter::finish() {
  text("\n");
  return ok_ ? used_ : 0;
}

bool WordReader::word(std::string_view& w) {
  if (ended_)
    return false;
  const size_t space = rest_.find(' ');
  w = rest_.substr(0, space);
  if (space == std::string_view::npos) {
    ended_ = true;
    rest_ = std::string_view();
  } else {
    rest_.remove_prefix(space + 1);
  }
  return !w.empty();
}

bool WordReader::number(long long min, long long max, long long& v) {
  std::string_view w;
  if (!word(w))
    return false;
  const bool negative = w[0] == '-';
  if (negative)
    w.remove_prefix(1);
  if (w.empty() || w.size() > 18)
    return false;
  long long n = 0;
  for (char c : w) {
    if (c < '0' || c > '9')
      return false;
    n = n * 10 + (c - '0');
  }
  n = negative ? -n : n;
  if (n < min || n > max)
    return false;
  v = n;
  return true;
}

bool WordReader::hex6(uint32_t& v) {
  std::string_view w;
  if (!word(w) || w.size() != 6)
    return false;
  uint32_t n = 0;
  for (char c : w) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0)
      return false;
    n = n * 16 + static_cast<uint32_t>(digit);
  }
  v = n;
  return true;
}

bool WordReader::rest(std::string_view& r) {
  if (ended_)
    return false;
  r = rest_;
  ended_ = true;
  rest_ = std::string_view();
  return true;
}

}  // namespace link
}  // namespace kivsim
