// SPDX-License-Identifier: MIT
#include "doctor/doctor.h"

#include "doctor/checks.h"

namespace kivctl {

std::vector<Check> run_checks(Session& session, bool active) {
  std::vector<Check> checks;
  // First, while the tool has no other thread: it forks for this check.
  checks.push_back(check_library());
  checks.push_back(check_board());
  checks.push_back(check_cpu());
  checks.push_back(check_config());
  // Before the device is up: once it is, the tool holds both ports itself.
  checks.push_back(check_port("com1"));
  checks.push_back(check_port("com2"));
  checks.push_back(check_i2c());
  checks.push_back(check_lens(session.device, checks.back()));
  if (!active) {
    checks.push_back(check_strip(nullptr));
    return checks;
  }
  try {
    session.device.io();
  } catch (const Device::Unavailable& e) {
    Check c{"active"};
    c.fail(Verdict::kFailure, std::string("the device was not exercised: ") + e.what(),
           "see the board check");
    checks.push_back(check_strip(nullptr));
    checks.push_back(c);
    return checks;
  }
  checks.push_back(check_strip(&session.device));
  checks.push_back(check_light_active(session.device));
  checks.push_back(check_lens_active(session.device));
  return checks;
}

}  // namespace kivctl
