// SPDX-License-Identifier: MIT
// kivctl lens: the liquid lens and VTemp over I2C.
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "command_line.h"
#include "json_text.h"
#include "results.h"

namespace kivctl {

void add_lens_command(CLI::App& app, CommandSet& set) {
  auto value = std::make_shared<int>(0);
  auto json = std::make_shared<bool>(false);
  CLI::App* lens = app.add_subcommand("lens", "The liquid lens and VTemp over I2C");
  lens->require_subcommand(1);
  explain(lens,
          "The lens controller sits behind /dev/i2c-5 at address 0x18. Each command uses the bus "
          "alone: no line moves, no port opens.",
          "kivctl lens set 1200; kivctl lens get --json");

  CLI::App* get = lens->add_subcommand("get", "Reads the lens value back (0 to 65535).");
  get->add_flag("--json", *json, "one JSON object: {\"lens\": VALUE}");
  explain(get, "", "kivctl lens get");
  get->callback([&set, json] {
    set.action = [&set, json] {
      set.session.device.lens_bus();
      int v = set.session.device.instance().getLiquid();
      if (v < 0)
        return complain(
            "lens get: the lens controller did not answer (see the library's "
            "[Liquid] line)");
      result_line(*json ? json_text(nlohmann::json{{"lens", v}}) : std::to_string(v));
      return kDone;
    };
  });

  CLI::App* setc = lens->add_subcommand("set", "Sets the lens value, 0 to 46000.");
  // Checked as it is read, before the bus.
  setc->add_option("VALUE", *value, "lens value")->required()->check(CLI::Range(0, 46000));
  explain(setc, "", "kivctl lens set 1200");
  setc->callback([&set, value] {
    set.action = [&set, value] {
      set.session.device.lens_bus();
      if (set.session.device.instance().setLiquid(*value) != 0)
        return complain("lens set " + std::to_string(*value) +
                        ": refused, or the lens controller did not answer");
      return kDone;
    };
  });

  CLI::App* vtemp = lens->add_subcommand("vtemp", "Switches VTemp on.");
  explain(vtemp, "", "kivctl lens vtemp");
  vtemp->callback([&set] {
    set.action = [&set] {
      set.session.device.lens_bus();
      if (set.session.device.instance().openVTemp() != 0)
        return complain("lens vtemp: the lens controller did not answer");
      return kDone;
    };
  });
}

}  // namespace kivctl
