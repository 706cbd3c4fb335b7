// SPDX-License-Identifier: MIT
// One verdict on "/etc/ul-opx3000.ini" for every command that speaks of it,
// so that info and doctor never disagree: what the file's state is, and why
// each refused line was refused.
#pragma once

#include <string>
#include <vector>

namespace kivctl {

struct ConfigVerdict {
  // "absent", "unreadable", "parsed", "failed" (lines refused), or "too
  // large" (only its first MiB was checked).
  std::string state;
  // "line 3: [LIGHT] has no key 'foo' (section_1 to section_4)", in order.
  std::vector<std::string> refused;
  std::vector<int> refused_lines;
};

ConfigVerdict config_verdict();

// "lines 3, 4 refused" or "line 3 refused".
std::string refused_summary(const ConfigVerdict& v);

}  // namespace kivctl
