// SPDX-License-Identifier: MIT
#include "config_verdict.h"

#include "config/config_report.h"

namespace kivctl {

ConfigVerdict config_verdict() {
  const kiv_config::ConfigFileReport r = kiv_config::report_config_file();
  ConfigVerdict v;
  if (!r.present) {
    v.state = "absent";
  } else if (!r.opened) {
    v.state = "unreadable";
  } else {
    v.state = r.truncated ? "too large" : r.refused_lines.empty() ? "parsed" : "failed";
    v.refused_lines = r.refused_lines;
    for (size_t i = 0; i < r.refused_lines.size(); ++i)
      v.refused.push_back("line " + std::to_string(r.refused_lines[i]) + ": " + r.why[i]);
    if (r.truncated)
      v.refused.push_back("past its first MiB: not read, so not checked");
  }
  return v;
}

std::string refused_summary(const ConfigVerdict& v) {
  std::string lines;
  for (int l : v.refused_lines)
    lines += (lines.empty() ? "" : ", ") + std::to_string(l);
  return std::string(v.refused_lines.size() > 1 ? "lines " : "line ") + lines + " refused";
}

}  // namespace kivctl
