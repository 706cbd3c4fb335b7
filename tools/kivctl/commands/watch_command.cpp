// SPDX-License-Identifier: MIT
// kivctl watch: edges, chunks and notifications as they come, one line each.
#include <memory>
#include <string>
#include <vector>

#include "argument_checks.h"
#include "command_line.h"
#include "results.h"
#include "watch/event_pump.h"

namespace kivctl {
namespace {

struct WatchArgs {
  std::vector<std::string> sources;
  WatchLimits limits;
  bool json = false;
  bool hex = false;
  std::string clock = "monotonic";
};

}  // namespace

void add_watch_command(CLI::App& app, CommandSet& set) {
  auto a = std::make_shared<WatchArgs>();
  const std::string details =
      "Shows what the device reports, one line each with its time: input, trigger and tune "
      "edges with the level (reported by the library 100 ms after the edge), chunks received "
      "on com1 and com2, and the light controller's notification (light). Without a source it "
      "watches all six. An input watched is made ready as the library's setup() makes it (an "
      "input pulled down, with its interrupt), the light's notification comes from /dev/com2, "
      "and a port is opened alone; no output line moves.";
  CLI::App* watch =
      app.add_subcommand("watch", "Edges, serial chunks and notifications as they come");
  watch->add_option("SOURCE", a->sources, "input, trigger, tune, com1, com2, light");
  watch->add_option("--count", a->limits.count, "stop after N events")->transform(count());
  watch->add_option("--timeout", a->limits.timeout_s, "stop after S seconds")->check(seconds());
  watch->add_flag("--json", a->json, "one JSON object a line");
  watch->add_flag("--hex", a->hex, "serial bytes in hex");
  watch->add_option("--time", a->clock, "the clock of the times: monotonic or realtime")
      ->check(one_of({"monotonic", "realtime"}));
  explain(watch, details, "kivctl watch trigger com1 --count 4 --timeout 30");
  watch->callback([&set, a] {
    set.action = [&set, a] {
      std::vector<std::string> sources = a->sources;
      if (sources.empty())
        sources = {"input", "trigger", "tune", "com1", "com2", "light"};
      PrintStyle style;
      style.json = a->json;
      style.hex = a->hex;
      style.realtime = a->clock == "realtime";
      return watch_sources(set.session, sources, style, a->limits, "watch");
    };
  });
}

}  // namespace kivctl
