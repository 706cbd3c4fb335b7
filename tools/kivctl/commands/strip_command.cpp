// SPDX-License-Identifier: MIT
// kivctl strip: the status strip of nine LEDs.
#include <memory>
#include <string>

#include "argument_checks.h"
#include "command_line.h"
#include "results.h"
#include "strip/strip_state.h"

namespace kivctl {
namespace {

struct StripArgs {
  int status = 0;
  int red = 0, green = 0, blue = 0;
};

// The colour calls return nothing: whether the strip runs tells whether a
// colour reached it.
int shown(const std::string& what) {
  if (kiv::strip_running())
    return kDone;
  return complain(what +
                  ": the LED strip is not running (the LED library could not start; its "
                  "\"ws2811_init failed\" line above says why)");
}

}  // namespace

void add_strip_command(CLI::App& app, CommandSet& set) {
  auto a = std::make_shared<StripArgs>();
  CLI::App* strip = app.add_subcommand("strip", "The status strip of nine LEDs");
  strip->require_subcommand(1);
  explain(strip, "Each command starts the strip when it is not running and touches nothing else.",
          "kivctl strip status 2; kivctl strip rgb 32 0 64");

  CLI::App* status = strip->add_subcommand(
      "status", "Shows a status colour on every LED: 0 off, 1 blue, 2 green, 3 red.");
  status->add_option("STATE", a->status, "0 to 3")->required()->transform(whole_in(0, 3));
  explain(status, "", "kivctl strip status 3");
  status->callback([&set, a] {
    set.action = [&set, a] {
      set.session.device.strip();
      set.session.device.instance().setRgbLight(static_cast<unsigned char>(a->status));
      return shown("strip status " + std::to_string(a->status));
    };
  });

  CLI::App* rgb = strip->add_subcommand("rgb", "Shows any colour on every LED.");
  rgb->add_option("R", a->red, "red, 0 to 255")->required()->transform(whole_in(0, 255));
  rgb->add_option("G", a->green, "green, 0 to 255")->required()->transform(whole_in(0, 255));
  rgb->add_option("B", a->blue, "blue, 0 to 255")->required()->transform(whole_in(0, 255));
  explain(rgb, "", "kivctl strip rgb 255 128 0");
  rgb->callback([&set, a] {
    set.action = [&set, a] {
      set.session.device.strip();
      set.session.device.instance().setRgbLight_rgb(static_cast<unsigned char>(a->blue),
                                                    static_cast<unsigned char>(a->green),
                                                    static_cast<unsigned char>(a->red));
      return shown("strip rgb");
    };
  });
}

}  // namespace kivctl
