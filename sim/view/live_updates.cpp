// SPDX-License-Identifier: MIT
#include "live_updates.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>

#include "event_json.h"

namespace kivsim {

std::string new_run_name() {
  std::random_device source;
  uint64_t name = (static_cast<uint64_t>(source()) << 32) | source();
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(name));
  return text;
}

std::string run_message(const std::string& run) {
  return "event: run\ndata: " + nlohmann::json{{"run", run}}.dump() + "\n\n";
}

std::string events_message(const std::string& run, uint64_t after,
                           const std::vector<Event>& events) {
  // The stream keeps only its newest events: a reader that fell behind sees a gap.
  uint64_t dropped = events.front().seq - after - 1;
  std::string msg = "id: " + run + ":" + std::to_string(events.back().seq) +
                    "\nevent: events\ndata: {\"dropped\":" + std::to_string(dropped) +
                    ",\"events\":[";
  for (size_t i = 0; i < events.size(); ++i)
    msg += (i ? "," : "") + trace_line(events[i]);
  return msg + "]}\n\n";
}

std::string end_message() {
  return "event: end\ndata: {}\n\n";
}

std::string refused_message(const std::string& error) {
  return "event: refused\ndata: " + nlohmann::json{{"error", error}}.dump() + "\n\n";
}

uint64_t resume_after(const std::string& last_event_id, const std::string& run) {
  const std::string prefix = run + ":";
  if (last_event_id.compare(0, prefix.size(), prefix) != 0)
    return 0;
  std::string seq = last_event_id.substr(prefix.size());
  if (seq.empty() || seq.size() > 19 || seq.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  return std::stoull(seq);
}

}  // namespace kivsim
