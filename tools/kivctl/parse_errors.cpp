// SPDX-License-Identifier: MIT
#include "parse_errors.h"

namespace kivctl {
namespace {

// The deepest command the words chose, and its words ("lens set").
const CLI::App* chosen(const CLI::App& app, std::string& path) {
  const CLI::App* at = &app;
  for (;;) {
    const std::vector<CLI::App*> parsed = at->get_subcommands();
    if (parsed.empty())
      return at;
    at = parsed.front();
    path += (path.empty() ? "" : " ") + at->get_name();
  }
}

std::string commands_of(const CLI::App& at) {
  std::string list;
  const std::function<bool(const CLI::App*)> all = [](const CLI::App*) { return true; };
  for (const CLI::App* sub : at.get_subcommands(all))
    list += (list.empty() ? "" : ", ") + sub->get_name();
  return list;
}

// The first word after the chosen command's own that is not an option.
std::string word_after(const std::vector<std::string>& words, const std::string& path) {
  size_t skip = 0;
  for (size_t at = 0; at < path.size(); at = path.find(' ', at), at += at != std::string::npos)
    ++skip;
  if (path.empty())
    skip = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    if (!words[i].empty() && words[i][0] == '-')
      continue;
    if (skip > 0) {
      --skip;
      continue;
    }
    return words[i];
  }
  return "";
}

bool starts(const std::string& text, const std::string& head) {
  return text.rfind(head, 0) == 0;
}

// "NAME: rest" split at the first ": ".
std::string before_colon(const std::string& text, std::string& rest) {
  const size_t colon = text.find(": ");
  if (colon == std::string::npos) {
    rest = text;
    return "";
  }
  rest = text.substr(colon + 2);
  return text.substr(0, colon);
}

std::string what_was_wrong(const CLI::ParseError& error, const CLI::App& at,
                           const std::string& path, const std::vector<std::string>& words) {
  const std::string text = error.what();
  auto is = [&error](auto* kind) { return dynamic_cast<decltype(kind)>(&error) != nullptr; };
  std::string rest;
  if (is(static_cast<const CLI::RequiredError*>(nullptr))) {
    if (starts(text, "A subcommand") || starts(text, "Requires at least")) {
      // An option the command does not know, which the parser set aside.
      // (Options pass up to the tool's own: look there too.)
      for (const CLI::App* up = &at; up != nullptr; up = up->get_parent())
        for (const std::string& left : up->remaining())
          if (!left.empty() && left[0] == '-')
            return "'" + left + "' is not taken here";
      const std::string word = word_after(words, path);
      const std::string which = path.empty() ? "command" : "command of '" + path + "'";
      if (!word.empty())
        return "'" + word + "' is no " + which + " (" + commands_of(at) + ")";
      return "which " + which + "? " + commands_of(at);
    }
    const std::string name = text.substr(0, text.find(" is required"));
    return name + " is missing";
  }
  if (is(static_cast<const CLI::ExtrasError*>(nullptr))) {
    before_colon(text, rest);
    return "'" + rest + "' is not taken here";
  }
  if (is(static_cast<const CLI::ArgumentMismatch*>(nullptr))) {
    const std::string name = before_colon(text, rest);
    const std::string what = name.empty() ? std::string("an option") : name;
    // "At Most 1 required but received 2": the option given twice.
    if (rest.find("At Most") != std::string::npos || rest.find("Expected exactly") == 0)
      return what + " is given more than once";
    return what + " needs a value";
  }
  if (is(static_cast<const CLI::ConversionError*>(nullptr))) {
    // "Could not convert: NAME = VALUE"
    const size_t eq = text.rfind(" = ");
    before_colon(text, rest);
    const std::string name = rest.substr(0, rest.find(" = "));
    // A value given to a flag ("--json=x").
    // Every option that takes a value is checked before it is converted:
    // one that cannot be is a flag given a value ("--json=x").
    if (starts(name, "-"))
      return name + " takes no value";
    return eq == std::string::npos ? text : name + ": '" + text.substr(eq + 3) + "' cannot be read";
  }
  if (is(static_cast<const CLI::ValidationError*>(nullptr))) {
    const std::string name = before_colon(text, rest);
    return name.empty() ? rest : name + " " + rest;
  }
  return text;
}

}  // namespace

std::string parse_error_text(const CLI::ParseError& error, const CLI::App& app,
                             const std::vector<std::string>& words) {
  std::string path;
  const CLI::App* at = chosen(app, path);
  const std::string line = what_was_wrong(error, *at, path, words);
  const std::string help = path.empty() ? "kivctl --help" : "kivctl " + path + " --help";
  return (path.empty() ? "" : path + ": ") + line + " (see '" + help + "')";
}

}  // namespace kivctl
