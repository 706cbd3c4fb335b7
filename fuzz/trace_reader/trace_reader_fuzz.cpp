// SPDX-License-Identifier: MIT
// A trace's bytes through the trace reader; every event it reads, written
// back as a trace line, reads back to the same line.
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "event_json.h"
#include "scratch_file.h"
#include "trace_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<kivsim::Event> events;
  std::string error;
  if (!kivsim::read_trace(kivfuzz::scratch_file(data, size), events, error))
    KIV_FUZZ_CHECK(!error.empty());
  for (const kivsim::Event& event : events) {
    const std::string line = kivsim::trace_line(event);
    kivsim::Event again;
    std::string why;
    KIV_FUZZ_CHECK(kivsim::event_from_trace_line(line, again, why));
    KIV_FUZZ_CHECK(kivsim::trace_line(again) == line);
  }
  return 0;
}
