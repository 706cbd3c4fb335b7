// SPDX-License-Identifier: MIT
// The device's lines by their one name ("laser", "scan-a", "input"), from the
// library's own map of them.
#pragma once

#include <string>

#include "gpio/pins.h"

namespace kivctl {

// The line called `name` or an older spelling of it ("DO1", "scan A"), in any
// case; null for none.
const kiv::pin::NamedLine* line_named(const std::string& name);
// "laser, alarm, ..., tune": the names of the outputs, of the inputs, or of all.
enum class LineSet { kOutputs, kInputs, kAll };
std::string line_names(LineSet set);

}  // namespace kivctl
