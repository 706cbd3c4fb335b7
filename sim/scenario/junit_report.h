// SPDX-License-Identifier: MIT
// A scenario's outcome as JUnit XML, which CI servers show as test results:
// one test suite for the scenario, one test case for each expectation,
// failed when it did not hold in a run, with each run's message; the passes
// and the delays measured (for "after") in the case's output.
#pragma once

#include <string>

#include "scenario_results.h"

namespace kivsim {

std::string junit_xml(const std::string& scenario, const std::vector<ExpectationTally>& tally,
                      double seconds);

// `text` with &, <, >, " and ' as XML entities, and every control byte but
// tab and line breaks left out (XML 1.0 allows none of them).
std::string xml_escaped(const std::string& text);

}  // namespace kivsim
