// SPDX-License-Identifier: MIT
// Chunks received from the light controller, as the reader hands them to the
// library's handler of its port: the application's hardware callback runs
// for each chunk that is FF AA EE alone (up to its first zero byte), and for
// no other. The first byte picks the callback's form.
#include <cstdint>
#include <cstring>
#include <memory>

#include "check.h"
#include "chunks.h"
#include "kiv_io.h"
#include "serial/chunk_handover.h"

namespace {

using kiv::serial::kReadSize;

int plain_calls = 0;
void on_plain() {
  ++plain_calls;
}
void on_user(void* user) {
  ++*static_cast<int*>(user);
}

bool is_notification(const char* chunk) {
  return std::strcmp(chunk, "\xFF\xAA\xEE") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1)
    return 0;
  int user_calls = 0;
  kiv::KivIo* io = kiv::KivIo::getInstance();
  const bool with_user = (data[0] & 1) != 0;
  if (with_user)
    io->registerHardware(on_user, &user_calls);
  else
    io->registerHardware(on_plain);
  plain_calls = 0;

  kiv::GuardedRegistration<kiv::serial::ReadRegistration> reception;
  kiv::serial::ReadRegistration registration;
  registration.text = kiv::callbackHardware;
  reception.install(registration);
  const std::unique_ptr<char[]> handover(new char[kReadSize + 1]);
  int notifications = 0;
  kivfuzz::Chunks input(data + 1, size - 1, kReadSize);
  const uint8_t* chunk;
  size_t len;
  while (input.next(chunk, len)) {
    if (len == 0)
      continue;
    kiv::serial::take_chunk(handover.get(), reinterpret_cast<const char*>(chunk), len);
    if (is_notification(handover.get()))
      ++notifications;
    kiv::serial::hand_over(reception, handover.get(), static_cast<ssize_t>(len));
    KIV_FUZZ_CHECK((with_user ? user_calls : plain_calls) == notifications);
  }
  KIV_FUZZ_CHECK((with_user ? plain_calls : user_calls) == 0);
  io->registerHardware(static_cast<void (*)()>(nullptr));
  return 0;
}
