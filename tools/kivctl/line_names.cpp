// SPDX-License-Identifier: MIT
#include "line_names.h"

#include <strings.h>

namespace kivctl {

const kiv::pin::NamedLine* line_named(const std::string& name) {
  if (name.find('\0') != std::string::npos)
    return nullptr;
  for (const kiv::pin::NamedLine& line : kiv::pin::kNamedLines)
    if (strcasecmp(name.c_str(), line.name) == 0 ||
        (line.older != nullptr && strcasecmp(name.c_str(), line.older) == 0))
      return &line;
  return nullptr;
}

std::string line_names(LineSet set) {
  std::string names;
  for (const kiv::pin::NamedLine& line : kiv::pin::kNamedLines) {
    if ((set == LineSet::kOutputs && !line.output) || (set == LineSet::kInputs && line.output))
      continue;
    names += (names.empty() ? "" : ", ") + std::string(line.name);
  }
  return names;
}

}  // namespace kivctl
