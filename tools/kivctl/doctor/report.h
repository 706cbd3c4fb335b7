// SPDX-License-Identifier: MIT
// kivctl doctor's report: one line a check, ok, warning or failure, each
// warning and failure with what to do about it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kivctl {

enum class Verdict { kOk, kWarning, kFailure };

struct Check {
  explicit Check(std::string check_name) : name(std::move(check_name)) {}

  std::string name;  // "board", "com1", "i2c", ...
  Verdict verdict = Verdict::kOk;
  std::string summary;                // what was found, one line
  std::string advice;                 // what to do about a warning or failure
  std::vector<std::string> findings;  // what stands behind the verdict, always shown
  std::vector<std::string> details;   // shown with -v

  // Records a finding; the first of the worst verdict stands.
  void fail(Verdict v, std::string what, std::string todo) {
    if (v > verdict) {
      verdict = v;
      summary = std::move(what);
      advice = std::move(todo);
    }
  }
};

// 0 when every check is ok, 1 with warnings, 2 with failures.
int report_status(const std::vector<Check>& checks);
// "2 warnings, 0 failures", as the report's last line says it.
std::string report_summary(const std::vector<Check>& checks);
void print_report(const std::vector<Check>& checks, bool verbose, bool json);

}  // namespace kivctl
