// SPDX-License-Identifier: MIT
// The trace: one JSON object a line per event.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "trace_writer.h"

namespace kivsim {
namespace {

TEST(TraceLine, CarriesTheFieldsOfItsKind) {
  Event render;
  render.seq = 7;
  render.time_ns = 1500000000;
  render.source = EventSource::kStrip;
  render.kind = "render";
  render.text = "9 LEDs";
  render.leds = {0x00ff00, 0x000000};
  nlohmann::json j = nlohmann::json::parse(trace_line(render));
  EXPECT_EQ(j["seq"], 7);
  EXPECT_EQ(j["t"], 1.5);
  EXPECT_EQ(j["source"], "strip");
  EXPECT_EQ(j["timing"], "source");
  EXPECT_EQ(j["leds"], nlohmann::json::array({"00ff00", "000000"}));
  EXPECT_FALSE(j.contains("pin") || j.contains("late") || j.contains("bytes"));

  Event out;
  out.source = EventSource::kProgram;
  out.kind = "out";
  out.timing = EventTiming::kArrival;
  out.late = true;
  out.text = "bad \xff byte";  // no UTF-8: written as U+FFFD, the line still parses
  j = nlohmann::json::parse(trace_line(out));
  EXPECT_EQ(j["text"], "bad \xEF\xBF\xBD byte");
  EXPECT_EQ(j["timing"], "arrival");
  EXPECT_EQ(j["late"], true);
}

}  // namespace
}  // namespace kivsim
