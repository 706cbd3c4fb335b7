// SPDX-License-Identifier: MIT
// kivctl shell: commands one a line, run in one process.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "results.h"

namespace kivctl {
namespace {

// Words as a shell would split them: blanks separate, quotes ('...' or
// "...") keep blanks, and a backslash escape stays for the command to read.
bool split_words(const std::string& line, std::vector<std::string>& words) {
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (char c : line) {
    if (quote) {
      if (c == quote)
        quote = 0;
      else
        word += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      in_word = true;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (in_word)
        words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word)
    words.push_back(word);
  return quote == 0;
}

int run_shell(Session& session, bool setup) {
  session.in_shell = true;
  if (setup)
    session.device.io();
  int status = kDone;
  char* buffer = nullptr;
  size_t size = 0;
  ssize_t n;
  int line_no = 0;
  while ((n = getline(&buffer, &size, stdin)) >= 0) {
    ++line_no;
    std::string line(buffer, static_cast<size_t>(n));
    if (!line.empty() && line.back() == '\n')
      line.pop_back();
    std::vector<std::string> words;
    if (!split_words(line, words)) {
      complain("line " + std::to_string(line_no) + ": a quote is not closed");
      status = kFailed;
      continue;
    }
    if (words.empty() || words[0][0] == '#')
      continue;
    if (words[0] == "quit" || words[0] == "exit")
      break;
    set_complaint_context("line " + std::to_string(line_no) + ": ");
    if (run_command(session, words) != kDone)
      status = kFailed;
    set_complaint_context("");
    std::fflush(results());
  }
  std::free(buffer);
  return status;
}

}  // namespace

void add_shell_command(CLI::App& app, CommandSet& set) {
  auto setup = std::make_shared<bool>(false);
  const std::string details =
      "Reads commands one a line from standard input (a script or a person) and runs them in "
      "this one process, which keeps what they brought up (a port, the strip, the inputs' "
      "interrupts) until the end. Blank lines and lines starting with '#' are skipped; 'quit' "
      "ends. The exit status is 1 when any command failed. With --setup the library's setup() "
      "runs first, as an application starts the device: " +
      std::string(kSetupNote);
  CLI::App* shell = app.add_subcommand("shell", "Commands one a line, in one process");
  shell->add_flag("--setup", *setup, "run the library's setup() first (moves every line)");
  explain(shell, details, "printf 'out laser 1\\nlens set 1200\\ninfo\\n' | kivctl shell");
  shell->callback(
      [&set, setup] { set.action = [&set, setup] { return run_shell(set.session, *setup); }; });
}

}  // namespace kivctl
