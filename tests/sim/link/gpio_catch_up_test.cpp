// SPDX-License-Identifier: MIT
// The GPIO stand-in's catch-up after lost reports, as the launcher records
// it: the record must end at the levels the program last wrote.
#include <gtest/gtest.h>

#include <string>

#include "event_stream.h"
#include "gpio_events.h"
#include "gpio_wire.h"
#include "stalled_launcher.h"
#include "wiringPi.h"

namespace {

// Records report lines as the launcher does: at their own time, or when
// read for one that carries none.
class Record {
 public:
  void take(const std::string& line) {
    kivsim::Event e;
    e.source = kivsim::EventSource::kGpio;
    const int64_t mono = kivsim::read_gpio_report(line, e);
    e.time_ns = stream_.since_origin(
        mono != kivsim::link::kNoTime ? mono : kivsim::EventStream::now_mono_ns());
    stream_.post(std::move(e));
  }
  // Takes every complete line of `text` from `from` on, up to `to`.
  size_t take_lines(const std::string& text, size_t from, size_t to) {
    while (from < to) {
      const size_t end = text.find('\n', from);
      if (end == std::string::npos || end >= to)
        break;
      take(text.substr(from, end - from));
      from = end + 1;
    }
    return from;
  }
  kivsim::DeviceState state() {
    stream_.flush();
    return stream_.state();
  }

 private:
  kivsim::EventStream stream_;
};

TEST(GpioCatchUp, TheRecordEndsAtTheLevelsLastWrittenHoweverManyReportsWereLost) {
  kivtest::StalledLauncher launcher("KIV_SIM_GPIO_SOCKET");
  ASSERT_EQ(wiringPiSetupGpio(), 0);
  ASSERT_TRUE(launcher.accept_peer());
  pinMode(22, OUTPUT);
  pinMode(21, OUTPUT);
  // Far more reports than the socket and the stand-in's backlog hold while
  // the launcher reads nothing; both lines end high.
  for (int i = 1; i <= 60000; ++i)
    digitalWrite(i % 2 ? 22 : 21, i > 59990 || i % 3 == 0);
  // The launcher takes what came up to the catch-up, then stalls before
  // recording the catch-up while the program lowers one line.
  Record record;
  const std::string& got = launcher.read_until("written 22 1\n");
  const size_t catch_up = got.rfind('\n', got.find("lost ")) + 1;
  ASSERT_NE(got.find("lost "), std::string::npos);
  const size_t recorded = record.take_lines(got, 0, catch_up);
  digitalWrite(22, 0);
  launcher.read_until("write 22 0\n");
  record.take_lines(got, recorded, got.size());
  const kivsim::DeviceState state = record.state();
  EXPECT_EQ(state.output[22], 0);
  EXPECT_EQ(state.output[21], 1);
  EXPECT_GT(state.reports_lost, 0);
}

}  // namespace
