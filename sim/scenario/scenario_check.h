// SPDX-License-Identifier: MIT
// The reader of the event stream that checks a scenario's expectations. It
// keeps what each event changed in the device's state (the stream's fold)
// and the bytes on the serial lines as the run goes, and judges them all once
// the run has ended: a state by the changes at or before its time, bytes and
// frames by what came at or before theirs, the exit status by the end. An
// expectation "when" an event comes is judged at its first occurrence; one
// "within" a time "after" an event by how long after each occurrence the
// program did it (a change that left the state expected, or the bytes
// coming whole), and every such delay is kept.
//
// A line is judged by what the program did: an output by what it wrote, an
// input by the edges and levels that reached it and what it read. A command
// of the launcher that reached no program changed nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device_state.h"
#include "event.h"
#include "scenario.h"

namespace kivsim {

// How one expectation came out in a run.
struct ExpectationResult {
  std::string where;        // "expect[2]", with its name
  std::string description;  // describe_expectation()
  bool held = false;
  std::string message;             // when it did not hold: "<where>: expected ..., but ..."
  std::vector<int64_t> delays_ns;  // "after": the delay measured after each occurrence
};

// "worst 12.3 ms, median 10.1 ms over 2" ("no delay measured" for none).
std::string delays_text(const std::vector<int64_t>& delays_ns);

class ScenarioCheck {
 public:
  explicit ScenarioCheck(std::vector<Expectation> expectations);
  // Takes one event of the stream, folded (on the publishing thread).
  void see(const Event& event);
  // One message per expectation that did not hold, naming it, its time and
  // what was seen instead; empty when all held.
  std::vector<std::string> failures() const;
  // Every expectation, held or not, in the file's order.
  std::vector<ExpectationResult> results() const;
  size_t count() const { return expectations_.size(); }

 private:
  // What one event changed, and when; also kept, with no change, for what
  // the program did again (a level written again, a lens transfer, a light
  // frame), which an expectation "after" an event counts as done.
  struct Change {
    int64_t time_ns;
    EventKind kind;
    StateChange change;
    int pin = -1;
    int result = 0;
  };
  struct Bytes {
    int64_t time_ns;
    std::string bytes;
  };
  // The state the changes at or before `ns` add up to.
  DeviceState state_at(int64_t ns) const;
  // The last change at or before `ns` that set one of `fields` (of `pin`,
  // for a line), or null.
  const Change* last_change(int64_t ns, std::initializer_list<StateField> fields,
                            int pin = -1) const;

  // Empty when `e` held, else what was seen instead; `delays` gets what an
  // "after" expectation measured.
  std::string judge(size_t index, std::vector<int64_t>& delays) const;
  // A state or bytes judged at `ns`.
  std::string judge_at(const Expectation& e, int64_t ns) const;
  std::string line_seen(const Expectation& e, int64_t ns) const;
  std::string strip_seen(const Expectation& e, int64_t ns) const;
  std::string lens_seen(const Expectation& e, int64_t ns) const;
  std::string light_seen(const Expectation& e, int64_t ns) const;
  std::string com1_seen(const Expectation& e, int64_t ns) const;
  std::string com2_seen(const Expectation& e, int64_t ns) const;

  // "after" (scenario_delays.cpp): how long after `from_ns` the program did
  // what `e` expects, or -1 when it never did.
  std::string delays_seen(const Expectation& e, const std::vector<int64_t>& occurrences,
                          std::vector<int64_t>& delays) const;
  int64_t done_at(const Expectation& e, int64_t from_ns) const;
  int64_t state_done_at(const Expectation& e, int64_t from_ns) const;
  int64_t bytes_done_at(const Expectation& e, int64_t from_ns) const;
  static bool touches(const Expectation& x, const Change& c);

  std::vector<Expectation> expectations_;
  // For each expectation with "when" or "after": its watch and the times of
  // the occurrences it saw.
  std::vector<std::unique_ptr<EventWatch>> watches_;
  std::vector<std::vector<int64_t>> occurrences_;
  std::vector<Change> changes_;  // by time; a late event takes its place
  std::vector<Bytes> com1_, frames_;
  DeviceState end_;  // after every event
};

}  // namespace kivsim
