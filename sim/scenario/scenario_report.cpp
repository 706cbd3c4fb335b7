// SPDX-License-Identifier: MIT
#include "scenario_report.h"

namespace kivsim {

bool report_run(std::FILE* out, std::FILE* err, const std::string& scenario,
                const std::vector<ExpectationResult>& results) {
  size_t failed = 0;
  for (const ExpectationResult& r : results) {
    if (!r.held) {
      ++failed;
      std::fprintf(err, "kiv-sim-run: scenario %s: %s\n", scenario.c_str(), r.message.c_str());
    } else if (!r.delays_ns.empty()) {
      std::fprintf(out, "kiv-sim-run: scenario %s: %s: %s: %s\n", scenario.c_str(), r.where.c_str(),
                   r.description.c_str(), delays_text(r.delays_ns).c_str());
    }
  }
  if (failed > 0) {
    std::fprintf(err, "kiv-sim-run: scenario %s: %zu of %zu expectations did not hold\n",
                 scenario.c_str(), failed, results.size());
    return false;
  }
  std::fprintf(out, "kiv-sim-run: scenario %s: all %zu expectations held\n", scenario.c_str(),
               results.size());
  return true;
}

bool report_runs(std::FILE* out, std::FILE* err, const std::string& scenario,
                 const std::vector<std::vector<ExpectationResult>>& runs) {
  const std::vector<ExpectationTally> tally = tally_results(runs);
  size_t failed = 0;
  for (const ExpectationTally& t : tally) {
    failed += t.held < t.runs ? 1 : 0;
    const std::string delays =
        t.delays_ns.empty() ? "" : "; delays " + delay_spread_text(t.delays_ns);
    std::fprintf(out, "kiv-sim-run: scenario %s: %s: held in %d of %d runs%s\n", scenario.c_str(),
                 t.where.c_str(), t.held, t.runs, delays.c_str());
  }
  if (failed > 0) {
    std::fprintf(err,
                 "kiv-sim-run: scenario %s: %zu of %zu expectations did not hold in every run\n",
                 scenario.c_str(), failed, tally.size());
    return false;
  }
  std::fprintf(out, "kiv-sim-run: scenario %s: all %zu expectations held in all %zu runs\n",
               scenario.c_str(), tally.size(), runs.size());
  return true;
}

}  // namespace kivsim
