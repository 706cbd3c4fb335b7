// SPDX-License-Identifier: MIT
// The lines between the I2C layer in a program and the bus the launcher holds.
#include <gtest/gtest.h>

#include "i2c_wire.h"
#include "test_support.h"

namespace kivsim {
namespace {

TEST(I2cWire, RequestsAndRepliesCarryEveryField) {
  std::vector<i2c::Message> sent(2);
  sent[0].addr = 0x18;
  sent[0].len = 2;
  sent[0].data = {0x00, 0x28};
  sent[1].addr = 0x18;
  sent[1].flags = i2c::kFlagRead | i2c::kFlagTenBit;
  sent[1].len = 4;
  const std::string request = i2c::encode_request(2, sent);
  EXPECT_EQ(request, "rdwr 2 18:0:2:0028 18:11:4");
  unsigned requested = 0;
  std::vector<i2c::Message> got;
  int result = 0;
  ASSERT_TRUE(i2c::decode_request(request, requested, got));
  EXPECT_EQ(requested, 2u);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].flags, sent[1].flags);
  EXPECT_EQ(i2c::describe_message(got[0]), "write 18 [00 28]");
  // A read message carries no bytes, and a number ends at the end of its word,
  // not at a zero byte inside it.
  for (const std::string& line :
       std::vector<std::string>{"rdwr", "rdwr x", "rdwr 1 18:0", "rdwr 1 18:0:2:002",
                                "rdwr 1 1:0:1:ZZ", "open 1", "rdwr 1 10000:0:1:00",
                                "rdwr 1 18:1:2:0028", "rdwr 1 18:0:" + std::string(1, '\0') + "1"})
    EXPECT_FALSE(i2c::decode_request(line, requested, got)) << line;
  EXPECT_FALSE(i2c::decode_reply(std::string("2\0 E8035566", 11), result, sent));

  ASSERT_TRUE(i2c::decode_request(request, requested, got));
  got[1].data = {0xE8, 0x03, 0x55, 0x66};
  EXPECT_EQ(i2c::encode_reply(2, got), "2 E8035566");
  EXPECT_EQ(i2c::encode_reply(-121, got), "-121");
  ASSERT_TRUE(i2c::decode_reply("2 E8035566", result, sent));
  EXPECT_EQ(result, 2);
  EXPECT_EQ(kivtest::hex(sent[1].data), "E8 03 55 66");
  EXPECT_TRUE(i2c::decode_reply("-110", result, sent));
  EXPECT_EQ(result, -110);
  EXPECT_FALSE(i2c::decode_reply("2 E803", result, sent)) << "a short read is no reply";
  EXPECT_FALSE(i2c::decode_reply("two", result, sent));
}

}  // namespace
}  // namespace kivsim
