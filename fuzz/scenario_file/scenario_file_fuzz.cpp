// SPDX-License-Identifier: MIT
// A scenario file's bytes through the launcher's scenario reader: it loads
// them or refuses them with a reason, and every expectation it loads can be
// described.
#include <cstdint>

#include "check.h"
#include "scenario.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kivsim::Scenario scenario;
  std::string error;
  if (!kivsim::load_scenario(kivfuzz::scratch_file(data, size), scenario, error)) {
    KIV_FUZZ_CHECK(!error.empty());
    return 0;
  }
  for (const kivsim::Expectation& e : scenario.expectations)
    KIV_FUZZ_CHECK(!kivsim::describe_expectation(e).empty());
  return 0;
}
