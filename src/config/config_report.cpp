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
  std::set<int> refused;                 // lines the handler refused
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
  if (p.blank->count(p.line) != 0) {
    std::strcpy(str, "\n");
  } else {
    std::memcpy(str, p.text->data() + p.at, end - p.at);
    str[end - p.at] = '\0';
  }
  p.at = end;
  return str;
}

int noting_handler(void* user, const char* section, const char* name, const char* value) {
  Pass& p = *static_cast<Pass*>(user);
  if (!config_ini_handler(&p.record, section, name, value))
    p.refused.insert(p.line);
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
  std::set<int> failed;
  // Each pass either ends or blanks one more line, so the line count bounds them.
  for (;;) {
    Pass pass;
    pass.text = &text;
    pass.blank = &blank;
    int first = ini_parse_stream(read_piece, &pass, noting_handler, &pass);
    failed = pass.refused;
    if (first <= 0 || blank.count(first) != 0)
      break;
    blank.insert(first);
  }
  failed.insert(blank.begin(), blank.end());
  report.refused_lines.assign(failed.begin(), failed.end());
  return report;
}

}  // namespace kiv_config
