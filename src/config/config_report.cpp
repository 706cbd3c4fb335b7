// SPDX-License-Identifier: MIT
// Every refused line of the configuration file. The parser names only the
// first failed line, so the file is parsed from memory until it names none:
// lines the library's handler refuses are noted as the parser hands them
// over (and passed as taken, so that the parser names the lines it rejects
// itself), and a line the parser rejects (no "=", a "[" without "]") is
// blanked for the next pass. Neither changes the parser's state, so every
// other line is read as it was.
#include "config/config_report.h"

#include <ini.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "config/config_file.h"
#include "kiv_config.h"

namespace kiv_config {
namespace {

// A file larger than this is no configuration; what lies past it is not read.
constexpr size_t kMaxFileBytes = 1 << 20;

struct Pass {
  const std::string* text = nullptr;
  size_t at = 0;
  int line = 0;                          // lines handed to the parser so far: its numbering
  const std::set<int>* blank = nullptr;  // lines to hand over empty
  std::map<int, std::string> why;        // lines the handler refused, and why
  std::vector<std::string> pieces;       // the text of each line as handed over
  config_t record{};
};

// fgets over the text, as ini_parse reads a file, counting the pieces.
char* read_piece(char* str, int num, void* stream) {
  Pass& p = *static_cast<Pass*>(stream);
  if (num < 2 || p.at >= p.text->size())
    return nullptr;
  size_t end = p.at;
  while (end < p.text->size() && end - p.at < static_cast<size_t>(num - 1)) {
    if ((*p.text)[end++] == '\n')
      break;
  }
  ++p.line;
  p.pieces.push_back(p.text->substr(p.at, end - p.at));
  if (p.blank->count(p.line) != 0) {
    std::strcpy(str, "\n");
  } else {
    std::memcpy(str, p.text->data() + p.at, end - p.at);
    str[end - p.at] = '\0';
  }
  p.at = end;
  return str;
}

bool blank_char(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// What was wrong with a line that has a key and a value.
std::string why_key_refused(const std::string& piece, const char* section, const char* name) {
  const std::string key = name;
  if (!piece.empty() && blank_char(piece[0]) && piece.find_first_of("=:") == std::string::npos)
    return "an indented line continues '" + key + "', which the library does not read";
  if (section[0] == '\0')
    return "'" + key + "' stands before any section";
  if (std::strcmp(section, "LIGHT") == 0)
    return "[LIGHT] has no key '" + key + "' (section_1 to section_4)";
  if (std::strcmp(section, "CMD") == 0)
    return "[CMD] has no key '" + key + "' (timeout_ns)";
  return "[" + std::string(section) + "] is no section the library reads ([LIGHT], [CMD])";
}

// What was wrong with a line the parser itself rejects.
std::string why_unreadable(const Pass& p, int line) {
  const std::string& piece = p.pieces[static_cast<size_t>(line - 1)];
  if (line > 1 && p.pieces[static_cast<size_t>(line - 2)].back() != '\n')
    return "the rest of line " + std::to_string(line - 1) +
           ", which is longer than the parser reads at once";
  size_t first = 0;
  while (first < piece.size() && blank_char(piece[first]))
    ++first;
  if (first < piece.size() && piece[first] == '[')
    return "a section's '[' without its ']'";
  return "no '=' between a key and its value";
}

int noting_handler(void* user, const char* section, const char* name, const char* value) {
  Pass& p = *static_cast<Pass*>(user);
  if (!config_ini_handler(&p.record, section, name, value)) {
    p.why[p.line] = why_key_refused(p.pieces.back(), section, name);
  }
  return 1;
}

}  // namespace

ConfigFileReport report_config_file() {
  ConfigFileReport report;
  report.present = access(kConfigPath, F_OK) == 0;
  if (!report.present)
    return report;
  FILE* f = std::fopen(kConfigPath, "r");
  if (!f)
    return report;
  report.opened = true;
  std::string text;
  char chunk[4096];
  size_t n;
  while (text.size() < kMaxFileBytes && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    text.append(chunk, n);
  std::fclose(f);

  std::set<int> blank;
  std::map<int, std::string> why, why_blanked;
  // Each pass either ends or blanks one more line, so the line count bounds them.
  for (;;) {
    Pass pass;
    pass.text = &text;
    pass.blank = &blank;
    int first = ini_parse_stream(read_piece, &pass, noting_handler, &pass);
    why = pass.why;
    if (first <= 0 || blank.count(first) != 0)
      break;
    blank.insert(first);
    why_blanked[first] = why_unreadable(pass, first);
  }
  why.insert(why_blanked.begin(), why_blanked.end());
  for (const auto& [line, text_why] : why) {
    report.refused_lines.push_back(line);
    report.why.push_back(text_why);
  }
  return report;
}

}  // namespace kiv_config
