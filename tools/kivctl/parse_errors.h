// SPDX-License-Identifier: MIT
// What was wrong with a command's words, in the tool's own words: the command
// named, then what it lacks or does not take, never the parser's wording.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace kivctl {

// The line for `error`, raised while `app` read `words` (in their order).
std::string parse_error_text(const CLI::ParseError& error, const CLI::App& app,
                             const std::vector<std::string>& words);

}  // namespace kivctl
