// SPDX-License-Identifier: MIT
// kivctl doctor: every check in order.
#pragma once

#include <vector>

#include "device.h"
#include "doctor/report.h"

namespace kivctl {

// The checks of this machine; with `active` the device is set up and
// exercised too.
std::vector<Check> run_checks(Session& session, bool active);

}  // namespace kivctl
