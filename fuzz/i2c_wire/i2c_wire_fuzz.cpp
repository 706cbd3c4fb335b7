// SPDX-License-Identifier: MIT
// The I2C layer's wire, both directions: a request line, a newline and a
// reply line. Whatever decodes, encoded again, decodes to the same; a reply
// is read against the messages of the request before it.
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "i2c_wire.h"

namespace {

using kivsim::i2c::Message;

bool same(const std::vector<Message>& a, const std::vector<Message>& b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].addr != b[i].addr || a[i].flags != b[i].flags || a[i].len != b[i].len ||
        a[i].data != b[i].data)
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t split = text.find('\n');
  const std::string request = text.substr(0, split);
  const std::string reply = split == std::string::npos ? std::string() : text.substr(split + 1);

  unsigned requested = 0;
  std::vector<Message> messages;
  if (!kivsim::i2c::decode_request(request, requested, messages))
    return 0;
  unsigned requested_again = 0;
  std::vector<Message> again;
  KIV_FUZZ_CHECK(kivsim::i2c::decode_request(kivsim::i2c::encode_request(requested, messages),
                                             requested_again, again));
  KIV_FUZZ_CHECK(requested_again == requested && same(again, messages));

  int result = 0;
  std::vector<Message> answered = messages;
  if (!kivsim::i2c::decode_reply(reply, result, answered))
    return 0;
  int result_again = 0;
  std::vector<Message> answered_again = messages;
  KIV_FUZZ_CHECK(kivsim::i2c::decode_reply(kivsim::i2c::encode_reply(result, answered),
                                           result_again, answered_again));
  KIV_FUZZ_CHECK(result_again == result && same(answered_again, answered));
  return 0;
}
