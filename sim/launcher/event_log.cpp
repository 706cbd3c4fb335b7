// SPDX-License-Identifier: MIT
#include "event_log.h"

#include <cstdio>

#include "run_observer.h"

namespace kivsim {

EventLog::EventLog() {
  restart();
}

void EventLog::restart() {
  clock_gettime(CLOCK_MONOTONIC, &origin_);
}

double EventLog::elapsed() const {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec - origin_.tv_sec) +
         static_cast<double>(now.tv_nsec - origin_.tv_nsec) / 1e9;
}

void EventLog::line(const char* tag, const std::string& text) {
  double seconds = elapsed();
  std::printf("%7.3f %-5s %s\n", seconds, tag, text.c_str());
  std::fflush(stdout);
  if (observer_)
    observer_->on_event(seconds, tag, text);
}

}  // namespace kivsim
