// SPDX-License-Identifier: MIT
// A Value Change Dump in the making: variables, their changes at any time in
// any order, and comments; written out at the end in time order, with only
// the changes that change something.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kivsim {

class VcdFile {
 public:
  // The body's time unit: fine enough for a GPIO pulse of a few tens of
  // nanoseconds, a UART bit at 921600 baud and a quarter of an I2C clock.
  static constexpr int64_t kUnitNs = 10;
  // The value of a variable not known yet ("x").
  static constexpr uint32_t kUnknown = 0xFFFFFFFF;

  // Declares a variable of `width` bits (1 to 31) in `scope`, holding
  // `initial` from time 0; returns its index for change().
  int add_var(const std::string& scope, const std::string& name, int width, uint32_t initial);
  // Sets `var` to `value` at `time_ns`. Changes of one variable at one time
  // keep their order; a variable's changes closer together than the unit
  // are moved apart by a unit, so that no pulse disappears.
  void change(int64_t time_ns, int var, uint32_t value);
  // A comment in the header, and a note about `time_ns`: the notes follow
  // the comments in the header in time order (libsigrok 0.5 stops reading
  // at a comment among the changes).
  void header_comment(const std::string& text) { header_comments_.push_back(text); }
  void note(int64_t time_ns, const std::string& text);
  // Holds the dump open at least until `time_ns`.
  void extend_to(int64_t time_ns);

  // Writes the file. `wires_only` leaves out the variables of more than one
  // bit, for readers that cannot take a vector's value (libsigrok 0.5 stops
  // reading the file at the first one). False when a write failed.
  bool write(std::FILE* out, bool wires_only) const;

 private:
  struct Var {
    std::string scope, name, id;
    int width;
    uint32_t initial;
  };
  struct Change {
    int64_t time_ns;
    int var;
    uint32_t value;
  };
  struct Note {
    int64_t time_ns;
    std::string text;
  };
  std::string value_text(const Var& var, uint32_t value) const;
  std::vector<Var> vars_;
  std::vector<Change> changes_;
  std::vector<Note> notes_;
  std::vector<std::string> header_comments_;
  int64_t end_ns_ = 0;
};

}  // namespace kivsim
