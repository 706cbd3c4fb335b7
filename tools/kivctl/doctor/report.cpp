// SPDX-License-Identifier: MIT
#include "doctor/report.h"

#include <nlohmann/json.hpp>

#include "json_text.h"
#include "results.h"

namespace kivctl {
namespace {

const char* word(Verdict v) {
  switch (v) {
    case Verdict::kOk:
      return "ok";
    case Verdict::kWarning:
      return "warning";
    default:
      return "failure";
  }
}

}  // namespace

int report_status(const std::vector<Check>& checks) {
  int status = 0;
  for (const Check& c : checks)
    status = std::max(status, c.verdict == Verdict::kOk        ? 0
                              : c.verdict == Verdict::kWarning ? 1
                                                               : 2);
  return status;
}

std::string report_summary(const std::vector<Check>& checks) {
  int warnings = 0, failures = 0;
  for (const Check& c : checks) {
    warnings += c.verdict == Verdict::kWarning;
    failures += c.verdict == Verdict::kFailure;
  }
  auto counted = [](int n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  return counted(warnings, "warning") + ", " + counted(failures, "failure");
}

void print_report(const std::vector<Check>& checks, bool verbose, bool json) {
  if (json) {
    nlohmann::json all = nlohmann::json::array();
    for (const Check& c : checks) {
      nlohmann::json j = {{"check", c.name}, {"result", word(c.verdict)}, {"summary", c.summary}};
      if (!c.advice.empty())
        j["advice"] = c.advice;
      if (!c.findings.empty())
        j["findings"] = c.findings;
      j["details"] = c.details;
      all.push_back(j);
    }
    result_line(json_text(nlohmann::json{
        {"checks", all}, {"status", report_status(checks)}, {"summary", report_summary(checks)}}));
    return;
  }
  char head[64];
  for (const Check& c : checks) {
    std::snprintf(head, sizeof head, "%-8s %-8s ", word(c.verdict), c.name.c_str());
    result_line(head + c.summary);
    for (const std::string& f : c.findings)
      result_line("                  " + f);
    if (c.verdict != Verdict::kOk && !c.advice.empty())
      result_line("                  -> " + c.advice);
    if (verbose)
      for (const std::string& d : c.details)
        result_line("                  " + d);
  }
  result_line(report_summary(checks));
}

}  // namespace kivctl
