// SPDX-License-Identifier: MIT
// A new registration does not return while a read still fills the buffer it
// replaced, so the caller may reuse that buffer at once.
#include "serial_fixture.h"

namespace kivtest {
namespace {

void ignore_chunk(char*) {}

TEST_F(SerialTest, ANewRegistrationWaitsForAReadIntoTheBufferItReplaces) {
  static char first[64], second[64];
  StdoutCapture out;
  ASSERT_EQ(SerialPortInit(com1, 115200), 0);
  ASSERT_EQ(SetReadSerialPortCallback(ignore_chunk, first, sizeof first, 0), 0);
  slow_read_fd = printed_fd(out.text());
  write_all(peer1_, "x", 1);
  ASSERT_TRUE(wait_until([] { return slow_read_into.load() == first; }));
  ASSERT_EQ(SetReadSerialPortCallback(ignore_chunk, second, sizeof second, 0), 0);
  EXPECT_TRUE(slow_read_done.load()) << "returned while a read still filled the replaced buffer";
  slow_read_fd = -1;
}

}  // namespace
}  // namespace kivtest
