// SPDX-License-Identifier: MIT
// kivctl shell: commands one a line, run in one process with one setup().
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

int run_shell(Session& session) {
  session.in_shell = true;
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
      complain("shell: line " + std::to_string(line_no) + ": a quote is not closed");
      status = kFailed;
      continue;
    }
    if (words.empty() || words[0][0] == '#')
      continue;
    if (words[0] == "quit" || words[0] == "exit")
      break;
    if (run_command(session, words) != kDone)
      status = kFailed;
    std::fflush(results());
  }
  std::free(buffer);
  return status;
}

}  // namespace

void add_shell_command(CLI::App& app, CommandSet& set) {
  const std::string details =
      "Reads commands one a line from standard input (a script or a person) and runs them in "
      "this one process: the device is set up once, by the first command that needs it, and "
      "closed at the end. Blank lines and lines starting with '#' are skipped; 'quit' ends. "
      "The exit status is 1 when any command failed.";
  CLI::App* shell = app.add_subcommand("shell", "Commands one a line, with one setup()");
  explain(shell, details, "printf 'out laser 1\\nlens set 1200\\ninfo\\n' | kivctl shell");
  shell->callback([&set] { set.action = [&set] { return run_shell(set.session); }; });
}

}  // namespace kivctl
