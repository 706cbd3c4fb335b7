// SPDX-License-Identifier: MIT
// kivctl doctor: what the library will do on this machine, and why.
#include <memory>
#include <string>

#include "command_line.h"
#include "doctor/doctor.h"

namespace kivctl {
namespace {

struct DoctorArgs {
  bool verbose = false;
  bool json = false;
  bool active = false;
};

}  // namespace

void add_doctor_command(CLI::App& app, CommandSet& set) {
  auto a = std::make_shared<DoctorArgs>();
  const std::string details =
      "Checks what the library will meet on this machine, one line a check (ok, warning or "
      "failure, with what to do): the installed library, the board check of the GPIO library, "
      "the CPU serial number and its variant, /etc/ul-opx3000.ini, /dev/com1 and /dev/com2, "
      "/dev/i2c-5 and the lens controller, the strip. It only reads: it switches nothing and "
      "takes no port, so it may run beside the application. --active also exercises the device "
      "for commissioning (setup(), the strip's start and status colours, light on and off, the "
      "lens read back after a write of its value). " +
      std::string(kSetupNote) + " Exit status: 0 all ok, 1 warnings, 2 failures.";
  CLI::App* doctor =
      app.add_subcommand("doctor", "What the library will do on this machine, and why");
  doctor->add_flag("-v,--verbose", a->verbose, "the details of each check");
  doctor->add_flag("--json", a->json, "one JSON object");
  doctor->add_flag("--active", a->active,
                   "also exercise the device (runs setup(), which moves every line)");
  explain(doctor, details, "kivctl doctor -v; kivctl doctor --active");
  doctor->callback([&set, a] {
    set.action = [&set, a] {
      std::vector<Check> checks = run_checks(set.session, a->active);
      print_report(checks, a->verbose, a->json);
      return report_status(checks);
    };
  });
}

}  // namespace kivctl
