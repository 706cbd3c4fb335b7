// SPDX-License-Identifier: MIT
#include "message_stream.h"

#include <cstring>

namespace soak {
namespace {

constexpr unsigned char kMagic[2] = {0xA5, 0x5A};
constexpr size_t kHead = 2 + 4 + 1;
constexpr size_t kTail = 4;

uint32_t crc32(const unsigned char* data, size_t len) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < len; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void put_u32(unsigned char* out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t get_u32(const unsigned char* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

}  // namespace

size_t MessageSource::next(unsigned char* out) {
  const uint32_t seq = seq_++;
  // Lengths and contents vary with the number, zero bytes included, so the
  // readers meet every split and every byte value.
  const size_t len = 16 + (seq * 7u) % 48u;
  std::memcpy(out, kMagic, 2);
  put_u32(out + 2, seq);
  out[6] = static_cast<unsigned char>(len);
  for (size_t i = 0; i < len; ++i)
    out[kHead + i] = static_cast<unsigned char>(seq * 31u + i * 17u);
  put_u32(out + kHead + len, crc32(out + 2, 5 + len));
  return kHead + len + kTail;
}

void MessageChecker::feed(const unsigned char* data, size_t len) {
  pending_.insert(pending_.end(), data, data + len);
  size_t at = 0;
  while (pending_.size() - at >= kHead) {
    const unsigned char* p = pending_.data() + at;
    if (p[0] != kMagic[0] || p[1] != kMagic[1]) {
      ++foreign;
      ++at;
      continue;
    }
    const size_t body = p[6];
    if (pending_.size() - at < kHead + body + kTail)
      break;
    if (crc32(p + 2, 5 + body) != get_u32(p + kHead + body)) {
      ++corrupt;
      ++at;  // look for the next head inside what was taken for this one
      continue;
    }
    const uint32_t seq = get_u32(p + 2);
    if (seq != next_seq_)
      missing += seq - next_seq_;
    next_seq_ = seq + 1;
    ++messages;
    good_bytes += kHead + body + kTail;
    at += kHead + body + kTail;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace soak
