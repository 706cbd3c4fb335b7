// SPDX-License-Identifier: MIT
#include "scenario_results.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace kivsim {
namespace {

std::string ms_text(int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(ns) / 1e6);
  return text;
}

}  // namespace

std::vector<ExpectationTally> tally_results(
    const std::vector<std::vector<ExpectationResult>>& runs) {
  std::vector<ExpectationTally> out;
  for (const std::vector<ExpectationResult>& run : runs) {
    if (out.empty())
      for (const ExpectationResult& r : run)
        out.push_back({r.where, r.description, 0, 0, {}, {}});
    for (size_t i = 0; i < run.size() && i < out.size(); ++i) {
      ExpectationTally& t = out[i];
      ++t.runs;
      t.held += run[i].held ? 1 : 0;
      if (!run[i].held)
        t.messages.push_back(run[i].message);
      t.delays_ns.insert(t.delays_ns.end(), run[i].delays_ns.begin(), run[i].delays_ns.end());
    }
  }
  return out;
}

std::string delay_spread_text(const std::vector<int64_t>& delays_ns) {
  if (delays_ns.empty())
    return "no delay measured";
  std::vector<int64_t> sorted = delays_ns;
  std::sort(sorted.begin(), sorted.end());
  return "min " + ms_text(sorted.front()) + ", median " + ms_text(sorted[sorted.size() / 2]) +
         ", max " + ms_text(sorted.back()) + " over " + std::to_string(sorted.size());
}

std::string results_to_json(const std::vector<ExpectationResult>& results) {
  nlohmann::json out = nlohmann::json::array();
  for (const ExpectationResult& r : results)
    out.push_back({{"where", r.where},
                   {"description", r.description},
                   {"held", r.held},
                   {"message", r.message},
                   {"delays_ns", r.delays_ns}});
  // A byte that is not UTF-8 must not cost the whole result.
  return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool results_from_json(const std::string& text, std::vector<ExpectationResult>& results) {
  try {
    const nlohmann::json in = nlohmann::json::parse(text);
    results.clear();
    for (const nlohmann::json& r : in)
      results.push_back({r.at("where").get<std::string>(), r.at("description").get<std::string>(),
                         r.at("held").get<bool>(), r.at("message").get<std::string>(),
                         r.at("delays_ns").get<std::vector<int64_t>>()});
    return in.is_array();
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

}  // namespace kivsim
