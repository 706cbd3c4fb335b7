// SPDX-License-Identifier: MIT
// The reader of the event stream that checks a scenario's expectations. It
// keeps the events they need as the run goes and judges them all once the
// run has ended: a state by the last change at or before its time, bytes and
// frames by what came at or before theirs, the exit status by the end.
#pragma once

#include <string>
#include <vector>

#include "event_stream.h"
#include "scenario.h"

namespace kivsim {

class ScenarioCheck {
 public:
  explicit ScenarioCheck(std::vector<Expectation> expectations)
      : expectations_(std::move(expectations)) {}
  // Takes one event of the stream (on the publishing thread).
  void see(const Event& event);
  // One message per expectation that did not hold, naming it, its time and
  // what was seen instead; empty when all held.
  std::vector<std::string> failures() const;
  size_t count() const { return expectations_.size(); }

 private:
  // Empty when `e` held, else what was seen instead.
  std::string judge(const Expectation& e) const;
  std::string line_seen(const Expectation& e) const;
  std::string strip_seen(const Expectation& e) const;
  std::string lens_seen(const Expectation& e) const;
  std::string light_seen(const Expectation& e) const;
  std::string com1_seen(const Expectation& e) const;
  std::string com2_seen(const Expectation& e) const;

  std::vector<Expectation> expectations_;
  std::vector<Event> lines_, renders_, registers_, lights_, com1_, frames_;
  bool ended_ = false;
  int exit_status_ = -1;
};

}  // namespace kivsim
