// SPDX-License-Identifier: MIT
#include "trace_reader.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "event_json.h"

namespace kivsim {

bool read_trace(const std::string& path, std::vector<Event>& events, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    Event e;
    std::string why;
    if (!event_from_trace_line(line, e, why)) {
      error = path + ":" + std::to_string(number) + ": " + why;
      return false;
    }
    events.push_back(std::move(e));
  }
  return true;
}

}  // namespace kivsim
