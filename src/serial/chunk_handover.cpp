// SPDX-License-Identifier: MIT
#include "serial/chunk_handover.h"

#include <cstring>

namespace kiv::serial {

void take_chunk(char* handover, const char* read, size_t len) {
  std::memcpy(handover, read, len);
  handover[len] = '\0';
}

void hand_over(GuardedRegistration<ReadRegistration>& reception, char* chunk, ssize_t len) {
  reception.call([&](const ReadRegistration& r) {
    if (r.data != nullptr)
      r.data(reinterpret_cast<const unsigned char*>(chunk), static_cast<int>(len), r.user);
    else
      r.text(chunk);
  });
}

}  // namespace kiv::serial
