// SPDX-License-Identifier: MIT
// The soak's traffic on a serial line: numbered messages, each with a
// checksum, written back to back, and a checker that finds them again in the
// received stream whatever the chunking, skipping bytes that belong to no
// message (the light controller's frames share com2 with the traffic).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace soak {

// Magic (2), sequence number (4), payload length (1), payload, CRC-32 (4).
constexpr size_t kMaxMessage = 2 + 4 + 1 + 255 + 4;

// Builds the next message into `out` and returns its size.
class MessageSource {
 public:
  size_t next(unsigned char* out);

 private:
  uint32_t seq_ = 0;
};

// Fed from one thread; its counters may be read from any.
class MessageChecker {
 public:
  void feed(const unsigned char* data, size_t len);

  std::atomic<uint64_t> good_bytes{0};  // bytes of whole messages with a good checksum
  std::atomic<uint64_t> messages{0};
  std::atomic<uint64_t> corrupt{0};  // a message's head whose checksum did not match
  std::atomic<uint64_t> missing{0};  // messages skipped in the numbering
  std::atomic<uint64_t> foreign{0};  // bytes that belong to no message

 private:
  std::vector<unsigned char> pending_;
  uint32_t next_seq_ = 0;
};

}  // namespace soak
