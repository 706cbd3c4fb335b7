// SPDX-License-Identifier: MIT
// Splits a fuzz input into chunks of 0 to `max` bytes: each chunk is a
// two-byte length (low byte first, taken modulo max + 1) and then up to that
// many bytes, so that the fuzzer chooses both the bytes and where the reads
// end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kivfuzz {

class Chunks {
 public:
  Chunks(const uint8_t* data, size_t size, size_t max) : data_(data), size_(size), max_(max) {}
  // The next chunk (possibly empty when the input ends right after its
  // length byte); false once nothing is left.
  bool next(const uint8_t*& chunk, size_t& len) {
    if (used_ + 2 > size_)
      return false;
    const size_t want = (data_[used_] | size_t{data_[used_ + 1]} << 8) % (max_ + 1);
    used_ += 2;
    len = want < size_ - used_ ? want : size_ - used_;
    chunk = data_ + used_;
    used_ += len;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t max_;
  size_t used_ = 0;
};

}  // namespace kivfuzz
