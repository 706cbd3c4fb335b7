// SPDX-License-Identifier: MIT
// The reader of the event stream that checks a scenario's expectations. It
// keeps what each event changed in the device's state (the stream's fold)
// and the bytes on the serial lines as the run goes, and judges them all once
// the run has ended: a state by the changes at or before its time, bytes and
// frames by what came at or before theirs, the exit status by the end.
//
// A line is judged by what the program did: an output by what it wrote, an
// input by the edges and levels that reached it and what it read. A command
// of the launcher that reached no program changed nothing.
#pragma once

#include <string>
#include <vector>

#include "device_state.h"
#include "event.h"
#include "scenario.h"

namespace kivsim {

class ScenarioCheck {
 public:
  explicit ScenarioCheck(std::vector<Expectation> expectations)
      : expectations_(std::move(expectations)) {}
  // Takes one event of the stream, folded (on the publishing thread).
  void see(const Event& event);
  // One message per expectation that did not hold, naming it, its time and
  // what was seen instead; empty when all held.
  std::vector<std::string> failures() const;
  size_t count() const { return expectations_.size(); }

 private:
  // What one event changed, and when.
  struct Change {
    int64_t time_ns;
    EventKind kind;
    StateChange change;
  };
  struct Bytes {
    int64_t time_ns;
    std::string bytes;
  };
  // The state the changes at or before `ms` add up to.
  DeviceState state_at(long ms) const;
  // The last change at or before `ms` that set one of `fields` (of `pin`,
  // for a line), or null.
  const Change* last_change(long ms, std::initializer_list<StateField> fields, int pin = -1) const;

  // Empty when `e` held, else what was seen instead.
  std::string judge(const Expectation& e) const;
  std::string line_seen(const Expectation& e) const;
  std::string strip_seen(const Expectation& e) const;
  std::string lens_seen(const Expectation& e) const;
  std::string light_seen(const Expectation& e) const;
  std::string com1_seen(const Expectation& e) const;
  std::string com2_seen(const Expectation& e) const;

  std::vector<Expectation> expectations_;
  std::vector<Change> changes_;  // by time; a late event takes its place
  std::vector<Bytes> com1_, frames_;
  DeviceState end_;  // after every event
};

}  // namespace kivsim
