// SPDX-License-Identifier: MIT
// How a scenario's expectations came out over one run or several: their
// tally (passes and every measured delay), the text that reports it, and
// the form one run's results travel in from the process that ran it.
#pragma once

#include <string>
#include <vector>

#include "scenario_check.h"

namespace kivsim {

// One expectation over every run.
struct ExpectationTally {
  std::string where, description;
  int held = 0, runs = 0;
  std::vector<std::string> messages;  // one a run in which it did not hold
  std::vector<int64_t> delays_ns;     // "after": every delay of every run
};

// `runs` holds one result list a run, each in the file's order.
std::vector<ExpectationTally> tally_results(
    const std::vector<std::vector<ExpectationResult>>& runs);

// "min 10.2 ms, median 11.0 ms, max 15.3 ms over 6" ("no delay measured").
std::string delay_spread_text(const std::vector<int64_t>& delays_ns);

// One run's results as one line of JSON, and back; false when `text` is not
// such a line.
std::string results_to_json(const std::vector<ExpectationResult>& results);
bool results_from_json(const std::string& text, std::vector<ExpectationResult>& results);

}  // namespace kivsim
