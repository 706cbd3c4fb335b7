// SPDX-License-Identifier: MIT
// Chunks of any bytes and any size, as the reader takes them from its reads,
// through its hand-over into a data callback or a string callback (the first
// byte picks which): the data callback gets every byte and the count, the
// string callback the chunk up to its first zero byte, never more.
#include <cstdint>
#include <cstring>
#include <memory>

#include "check.h"
#include "chunks.h"
#include "serial/chunk_handover.h"

namespace {

using kiv::serial::kReadSize;

struct Expected {
  const uint8_t* bytes = nullptr;
  size_t len = 0;
  int calls = 0;
};
Expected expected;

void on_data(const unsigned char* data, int len, void* user) {
  Expected& e = *static_cast<Expected*>(user);
  KIV_FUZZ_CHECK(len >= 0 && static_cast<size_t>(len) == e.len);
  KIV_FUZZ_CHECK(std::memcmp(data, e.bytes, e.len) == 0);
  ++e.calls;
}

void on_text(char* chunk) {
  const void* zero = std::memchr(expected.bytes, 0, expected.len);
  const size_t text = zero != nullptr
                          ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - expected.bytes)
                          : expected.len;
  KIV_FUZZ_CHECK(std::strlen(chunk) == text);
  KIV_FUZZ_CHECK(std::memcmp(chunk, expected.bytes, text) == 0);
  ++expected.calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1)
    return 0;
  kiv::GuardedRegistration<kiv::serial::ReadRegistration> reception;
  kiv::serial::ReadRegistration registration;
  if ((data[0] & 1) != 0) {
    registration.data = on_data;
    registration.user = &expected;
  } else {
    registration.text = on_text;
  }
  reception.install(registration);
  // Exactly as large as the reader's, so that a byte too many is an overflow.
  const std::unique_ptr<char[]> handover(new char[kReadSize + 1]);
  expected = Expected();
  int chunks = 0;
  kivfuzz::Chunks input(data + 1, size - 1, kReadSize);
  const uint8_t* chunk;
  size_t len;
  while (input.next(chunk, len)) {
    if (len == 0)
      continue;  // a read that returns nothing hands nothing over
    // The read's own buffer, no larger than what it returned.
    const std::unique_ptr<char[]> read(new char[len]);
    std::memcpy(read.get(), chunk, len);
    kiv::serial::take_chunk(handover.get(), read.get(), len);
    expected.bytes = chunk;
    expected.len = len;
    kiv::serial::hand_over(reception, handover.get(), static_cast<ssize_t>(len));
    KIV_FUZZ_CHECK(expected.calls == ++chunks);
  }
  return 0;
}
