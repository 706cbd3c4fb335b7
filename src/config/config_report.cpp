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
// The characters of a line the parser reads at once (its buffer, less the end).
constexpr int kPieceChars = INI_MAX_LINE - 1;

struct Pass {
  const std::string* text = nullptr;
  size_t at = 0;
  int line = 0;                          // lines handed to the parser so far: its numbering
  const std::set<int>* blank = nullptr;  // lines to hand over empty
  std::map<int, std::string> why;        // lines the handler refused, and why
  std::vector<std::string> pieces;       // the text of each line as handed over
  std::vector<int> file_lines;           // the file's line each piece is of
  std::string last_key, last_section;    // of the handler's last call
  config_t record{};
};

// Whether piece `line` (the parser's numbering) is the rest of a line the
// parser cut because it is longer than it reads at once.
bool is_rest(const Pass& p, int line) {
  return line > 1 && p.pieces[static_cast<size_t>(line - 2)].back() != '\n';
}

// Text from the file as it may be shown: control bytes as \xHH.
std::string shown(const std::string& text) {
  std::string out;
  char hex[8];
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) {
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

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
  const bool rest = !p.pieces.empty() && p.pieces.back().back() != '\n';
  p.file_lines.push_back(p.file_lines.empty() ? 1 : p.file_lines.back() + (rest ? 0 : 1));
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
std::string why_key_refused(const Pass& p, const char* section, const char* name) {
  const std::string key = shown(name);
  const std::string& piece = p.pieces.back();
  // The parser takes an indented line after a key as more of its value.
  if (!piece.empty() && blank_char(piece[0]) && p.last_key == name && p.last_section == section)
    return "an indented line continues '" + key + "', which the library does not read";
  if (section[0] == '\0')
    return "'" + key + "' stands before any section";
  if (std::strcmp(section, "LIGHT") == 0)
    return "[LIGHT] has no key '" + key + "' (section_1 to section_4)";
  if (std::strcmp(section, "CMD") == 0)
    return "[CMD] has no key '" + key + "' (timeout_ns)";
  return "[" + shown(section) + "] is no section the library reads ([LIGHT], [CMD])";
}

// What was wrong with a line the parser itself rejects.
std::string why_unreadable(const Pass& p, int line) {
  const std::string& piece = p.pieces[static_cast<size_t>(line - 1)];
  size_t first = 0;
  while (first < piece.size() && blank_char(piece[first]))
    ++first;
  if (first < piece.size() && piece[first] == '[')
    return "a section's '[' without its ']'";
  return "no '=' between a key and its value";
}

// A piece's reason as its file line's: the rest of a cut line says so.
std::string as_line(const Pass& p, int line, const std::string& why) {
  if (!is_rest(p, line))
    return why;
  return "longer than the " + std::to_string(kPieceChars) +
         " characters the parser reads at once; the rest, read as a line of its own: " + why;
}

int noting_handler(void* user, const char* section, const char* name, const char* value) {
  Pass& p = *static_cast<Pass*>(user);
  if (!config_ini_handler(&p.record, section, name, value))
    p.why[p.line] = why_key_refused(p, section, name);
  p.last_key = name;
  p.last_section = section;
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
  while (text.size() <= kMaxFileBytes && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    text.append(chunk, n);

  report.truncated = text.size() > kMaxFileBytes;
  // A folder in the file's place opens but reads nothing.
  report.opened = !std::ferror(f);
  std::fclose(f);
  if (!report.opened)
    return report;
  if (report.truncated)
    text.resize(kMaxFileBytes);
  std::set<int> blank;
  std::map<int, std::string> why_blanked;
  Pass pass;
  // Each pass either ends or blanks one more line, so the line count bounds them.
  for (;;) {
    pass = Pass();
    pass.text = &text;
    pass.blank = &blank;
    int first = ini_parse_stream(read_piece, &pass, noting_handler, &pass);
    if (first <= 0 || blank.count(first) != 0)
      break;
    blank.insert(first);
    why_blanked[first] = why_unreadable(pass, first);
  }
  // By the file's lines: the first reason of a line stands.
  std::map<int, std::string> why;
  for (const auto* reasons : {&pass.why, &why_blanked})
    for (const auto& [piece, text_why] : *reasons)
      why.emplace(pass.file_lines[static_cast<size_t>(piece - 1)], as_line(pass, piece, text_why));
  for (const auto& [line, text_why] : why) {
    report.refused_lines.push_back(line);
    report.why.push_back(text_why);
  }
  return report;
}

}  // namespace kiv_config
