// SPDX-License-Identifier: MIT
// Checks of a command's words as they are read, with what is wrong in the
// tool's own words ("5 is not in range 1 to 4"), before anything moves. The
// whole-number checks hand the number on in plain decimal, so they go on an
// option with transform(): the parser itself would read "010" as octal.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace kivctl {

// A whole number from `low` to `high`.
CLI::Validator whole_in(long low, long high);
// Any whole number the option's int takes.
CLI::Validator whole();
// A whole number of 1 or more.
CLI::Validator count();
// A number of seconds above 0 (fractions allowed).
CLI::Validator seconds();
// One of `words`.
CLI::Validator one_of(std::vector<std::string> words);

// Seconds as people write them: "1 s", "0.5 s", "2.25 s".
std::string seconds_text(double seconds);

}  // namespace kivctl
