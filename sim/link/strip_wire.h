// SPDX-License-Identifier: MIT
// The strip stand-in's reports, as typed messages and the text lines that
// carry them: the stand-in (sim/strip) encodes them, the launcher decodes.
// They describe the channel that drives LEDs (channel 1 when its count is
// above 0, else channel 0). Each line after the source time "@<ns> ":
//   init <result> <freq> <dmanum> <gpionum> <count> <strip_type> <brightness>
//   render <count> <rrggbb> ...  the colour each LED shows, after brightness
//                                and gamma, in hexadecimal
//   fini | fault <text>
//   lost <count>                 reports the launcher was too slow to take;
//                                the last init (or fini) and render follow,
//                                as they are when the catch-up is made
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wire_words.h"

namespace kivsim {
namespace link {

// A render reports at most this many LEDs (the first ones of a longer strip).
constexpr int kStripMaxLeds = 1024;
// Longest line the stand-in writes, with its time and newline.
constexpr size_t kStripMaxLine = 64 + 7 * kStripMaxLeds;

enum class StripReportKind { kInit, kRender, kFini, kFault, kLost };

struct StripInit {
  int result = 0;
  long long freq = 0;
  int dmanum = 0, gpionum = 0, count = 0, strip_type = 0, brightness = 0;
};

struct StripReport {
  StripReportKind kind = StripReportKind::kFini;
  StripInit init{};              // kInit
  std::vector<uint32_t> leds{};  // kRender: 0xRRGGBB each
  std::string text{};            // kFault: one line
  long long count = 0;           // kLost
  int64_t time_ns = kNoTime;     // CLOCK_MONOTONIC where the call happened
};

// Writes the report's line (with its time, when it has one, and newline) at
// `out`; returns its length, 0 when it does not fit.
size_t encode(const StripReport& report, char* out, size_t room);
// The same for the reports the stand-in makes, without building a report.
size_t encode_init(const StripInit& init, char* out, size_t room);
size_t encode_render(const uint32_t* leds, int count, char* out, size_t room);
size_t encode_fault(std::string_view text, char* out, size_t room);
// Reads one line (without its newline). False for a line of no known form or
// with a number out of range.
bool decode(std::string_view line, StripReport& report);

}  // namespace link
}  // namespace kivsim
