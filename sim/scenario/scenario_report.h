// SPDX-License-Identifier: MIT
// What the launcher says of a scenario's outcome: after a run, one message a
// failed expectation on `err` and the delays measured for those that held on
// `out`; after repeated runs, each expectation's passes and the spread of its
// delays. Each returns true when every expectation held (in every run).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "scenario_results.h"

namespace kivsim {

bool report_run(std::FILE* out, std::FILE* err, const std::string& scenario,
                const std::vector<ExpectationResult>& results);
bool report_runs(std::FILE* out, std::FILE* err, const std::string& scenario,
                 const std::vector<std::vector<ExpectationResult>>& runs);

}  // namespace kivsim
