// SPDX-License-Identifier: MIT
// The links' messages: what one end encodes the other decodes to the same
// message, and a line of no known form or out of range is refused.
#include <gtest/gtest.h>

#include <string>

#include "gpio_wire.h"
#include "strip_wire.h"

namespace kivsim {
namespace link {
namespace {

using G = GpioReportKind;
using S = StripReportKind;

std::string encoded(const GpioReport& r) {
  char out[kGpioMaxLine];
  return std::string(out, encode(r, out, sizeof out));
}

std::string encoded(const StripReport& r) {
  std::string out(kStripMaxLine, '\0');
  out.resize(encode(r, &out[0], out.size()));
  return out;
}

std::string body(std::string line) {
  return line.substr(0, line.size() - 1);  // without its newline
}

TEST(LinkWire, GpioMessagesRoundTrip) {
  const std::pair<GpioReport, const char*> reports[] = {
      {{G::kSetup, 0, 0, -1, 0, 12}, "@12 setup -1\n"},
      {{G::kMode, 7, 1}, "mode 7 1\n"},
      {{G::kPull, 20, 2}, "pull 20 2\n"},
      {{G::kWrite, 22, 1, 0, 0, 5}, "@5 write 22 1\n"},
      {{G::kRead, 99, 0}, "read 99 0\n"},
      {{G::kIsr, 12, 3, -1}, "isr 12 3 -1\n"},
      {{G::kHandlerStart, 17}, "handler-start 17\n"},
      {{G::kHandlerEnd, 17}, "handler-end 17\n"},
      {{G::kLost, 0, 0, 0, 123456789012LL, 9}, "@9 lost 123456789012\n"},
      {{G::kWritten, 63, 0, 0, 0, 0}, "@0 written 63 0\n"},
  };
  for (const auto& c : reports) {
    EXPECT_EQ(encoded(c.first), c.second);
    GpioReport back;
    ASSERT_TRUE(decode(body(c.second), back)) << c.second;
    EXPECT_EQ(encoded(back), c.second);
  }
  // The commands, the hand-over's among them.
  const std::pair<GpioCommand, const char*> commands[] = {
      {{GpioCommandKind::kEdge, 6, 1}, "edge 6 1"},
      {{GpioCommandKind::kLevel, 63, 0}, "level 63 0"},
      {{GpioCommandKind::kLatch, 22, 1}, "latch 22 1"},
      {{GpioCommandKind::kMode, 22, 0, 1}, "mode 22 1"},
      {{GpioCommandKind::kMode, 0, 1, 0}, "mode 0 0"},
      {{GpioCommandKind::kHandedOver}, "handed-over"},
  };
  for (const auto& c : commands) {
    EXPECT_EQ(encode(c.first), c.second);
    GpioCommand back;
    ASSERT_TRUE(decode(c.second, back)) << c.second;
    EXPECT_EQ(back.kind, c.first.kind) << c.second;
    EXPECT_EQ(encode(back), c.second);
  }
  char small[8];
  EXPECT_EQ(encode(GpioReport{G::kIsr, 12, 3, -1, 0, 1234}, small, sizeof small), 0u);
}

TEST(LinkWire, StripMessagesRoundTrip) {
  StripReport init{S::kInit, {-3, 800000, 10, 19, 9, 0x00100800, 255}};
  StripReport render{S::kRender, {}, {0xff8000, 0x000001}};
  render.time_ns = 77;
  StripReport fault{S::kFault, {}, {}, "ws2811_fini with no driver state"};
  StripReport lost{S::kLost, {}, {}, "", 40};
  const std::pair<StripReport, const char*> reports[] = {
      {init, "init -3 800000 10 19 9 1050624 255\n"},
      {render, "@77 render 2 ff8000 000001\n"},
      {StripReport{}, "fini\n"},
      {fault, "fault ws2811_fini with no driver state\n"},
      {lost, "lost 40\n"},
  };
  for (const auto& c : reports) {
    EXPECT_EQ(encoded(c.first), c.second);
    StripReport back;
    ASSERT_TRUE(decode(body(c.second), back)) << c.second;
    EXPECT_EQ(encoded(back), c.second);
  }
  char line[64];
  EXPECT_EQ(std::string(line, encode_fault("two\nlines", line, sizeof line)), "fault two lines\n");
  std::vector<uint32_t> many(kStripMaxLeds + 5, 0x123456);
  std::string all(kStripMaxLine, '\0');
  all.resize(encode_render(many.data(), static_cast<int>(many.size()), &all[0], all.size()));
  EXPECT_EQ(all.rfind("render 1024 123456", 0), 0u) << "a longer strip's first LEDs";
}

TEST(LinkWire, MalformedLinesAreRefused) {
  for (const char* line : {"",
                           " ",
                           "setup",
                           "setup x",
                           "setup 0 1",
                           "setup  0",
                           "setup 0 ",
                           "mode 64 1",
                           "mode -1 1",
                           "write 22 1000001",
                           "write 22",
                           "read 1000001 0",
                           "isr 6 3",
                           "handler-start",
                           "lost 0",
                           "lost -5",
                           "written 22 1 0",
                           "bogus 1",
                           "@ setup 0",
                           "@12x setup 0",
                           "@99999999999999999999999 setup 0",
                           "@12 ",
                           "write 2147483648 0",
                           "write 99999999999999999999999 1",
                           "write +1 1"}) {
    GpioReport r;
    EXPECT_FALSE(decode(line, r)) << '"' << line << '"';
  }
  for (const char* line :
       {"edge 6", "edge 6 2", "edge 64 1", "level x 1", "edge 6 1 2", "jump 6 1", "latch 22",
        "latch 22 2", "mode 22 2", "mode 64 1", "handed-over 1", "handed-over ", "handed"}) {
    GpioCommand c;
    EXPECT_FALSE(decode(line, c)) << line;
  }
  for (const char* line :
       {"render 2 ff0000", "render 1 xyzxyz", "render 1 ff00001", "render 1025", "render -1",
        "fini now", "fault", "fault ", "init 0 800000 10 19 9 1050624", "init 0 -1 10 19 9 1 255",
        "init 0 800000 10 19 9 1 256", "lost 0", "paint 1"}) {
    StripReport r;
    EXPECT_FALSE(decode(line, r)) << line;
  }
}

}  // namespace
}  // namespace link
}  // namespace kivsim
