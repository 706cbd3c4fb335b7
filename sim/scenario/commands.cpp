// SPDX-License-Identifier: MIT
#include "commands.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "board_map.h"
#include "bounded_file.h"
#include "byte_text.h"

namespace kivsim {
namespace {

constexpr long kMaxWaitMs = 24L * 3600 * 1000;
constexpr int kDefaultNoise = 16, kMaxNoise = 4096;
constexpr int kDefaultBounce = 5, kMaxBounce = 99;

// Edge, level and bounce set the device's inputs, or a pin of no name.
std::string unknown_input(const std::string& word) {
  return "unknown line '" + word + "' (" + line_choices(LineKind::kInput) + ")";
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && is_blank(s[b]))
    ++b;
  while (e > b && is_blank(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

// Splits off the first word of `rest`; `rest` keeps what follows the blank after it.
std::string next_word(std::string& rest) {
  size_t b = 0;
  while (b < rest.size() && is_blank(rest[b]))
    ++b;
  size_t e = b;
  while (e < rest.size() && !is_blank(rest[e]))
    ++e;
  std::string word = rest.substr(b, e - b);
  rest = e < rest.size() ? rest.substr(e + 1) : std::string();
  return word;
}

bool parse_level(const std::string& word, int& level, std::string& error) {
  if (word == "0" || word == "1") {
    level = word[0] - '0';
    return true;
  }
  error = word.empty() ? "missing level (0 or 1)" : "level must be 0 or 1, not '" + word + "'";
  return false;
}

ParseResult fail(std::string& error, const std::string& text) {
  error = text;
  return ParseResult::kError;
}

bool parse_port(const std::string& name, const std::string& word, int& port, std::string& error) {
  if (word == "com1" || word == "com2") {
    port = word[3] - '0';
    return true;
  }
  error = name + " needs com1 or com2, not '" + word + "'";
  return false;
}

// A whole number from `lo` to `hi` in `word`, or `fallback` when it is empty.
bool parse_count(const std::string& word, int fallback, int lo, int hi, int& out) {
  if (word.empty()) {
    out = fallback;
    return true;
  }
  char* end = nullptr;
  long v = std::strtol(word.c_str(), &end, 10);
  if (*end != '\0' || v < lo || v > hi)
    return false;
  out = static_cast<int>(v);
  return true;
}

// Noise is the same for every run, so that a scenario replays alike; it holds
// no FF, so it never forms the light controller's notification by chance.
std::string noise_bytes(int count) {
  std::string out;
  uint32_t x = 0x2545F491u;
  while (static_cast<int>(out.size()) < count) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    if ((x & 0xFF) != 0xFF)
      out += static_cast<char>(x & 0xFF);
  }
  return out;
}

ParseResult parse_send(std::string rest, Command& cmd, std::string& error) {
  if (!parse_port("send", next_word(rest), cmd.port, error))
    return ParseResult::kError;
  // The text runs to the end of the line; quotes keep leading or trailing blanks.
  std::string text = trim(rest);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    text = text.substr(1, text.size() - 2);
  if (!decode_escapes(text, cmd.bytes, error))
    return ParseResult::kError;
  if (cmd.bytes.empty())
    return fail(error, "send needs a text");
  cmd.kind = CommandKind::kSend;
  return ParseResult::kCommand;
}

bool parse_byte(const std::string& word, uint8_t& out) {
  char* end = nullptr;
  unsigned long v = std::strtoul(word.c_str(), &end, 16);
  if (word.empty() || word.size() > 2 || end != word.c_str() + word.size() || v > 0xFF)
    return false;
  out = static_cast<uint8_t>(v);
  return true;
}

ParseResult parse_lens_set(const std::vector<std::string>& args, Command& cmd, std::string& error) {
  const char* usage = "lens set needs a register and a value, or a register and 4 hex bytes";
  if (args.size() != 2 && args.size() != 5)
    return fail(error, usage);
  char* end = nullptr;
  errno = 0;
  long reg = std::strtol(args[0].c_str(), &end, 0);
  if (args[0].empty() || end != args[0].c_str() + args[0].size() || errno != 0 || reg < 0 ||
      reg > 0xFFFF)
    return fail(error, "lens set needs a register 0 to 65535, not '" + args[0] + "'");
  cmd.reg = static_cast<int>(reg);
  if (args.size() == 5) {
    for (size_t i = 0; i < 4; ++i)
      if (!parse_byte(args[i + 1], cmd.word[i]))
        return fail(error, "'" + args[i + 1] + "' is no hex byte");
    return ParseResult::kCommand;
  }
  errno = 0;
  unsigned long long value = std::strtoull(args[1].c_str(), &end, 0);
  if (args[1].empty() || args[1][0] == '-' || end != args[1].c_str() + args[1].size() ||
      errno != 0 || value > 0xFFFFFFFFull)
    return fail(error, "lens set needs a value 0 to 4294967295, not '" + args[1] + "'");
  for (size_t i = 0; i < 4; ++i)
    cmd.word[i] = static_cast<uint8_t>(value >> (8 * i));
  return ParseResult::kCommand;
}

ParseResult parse_lens(std::string rest, Command& cmd, std::string& error) {
  size_t hash = rest.find('#');
  if (hash != std::string::npos)
    rest.resize(hash);
  std::vector<std::string> args;
  for (std::string word = next_word(rest); !word.empty(); word = next_word(rest))
    args.push_back(word);
  cmd.kind = CommandKind::kLens;
  const std::string action = args.empty() ? std::string() : args[0];
  if (action == "set") {
    cmd.lens = LensAction::kSet;
    return parse_lens_set(std::vector<std::string>(args.begin() + 1, args.end()), cmd, error);
  }
  const struct {
    const char* name;
    LensAction action;
  } plain[] = {{"nack", LensAction::kNack},
               {"stuck", LensAction::kStuck},
               {"mend", LensAction::kMend},
               {"remove", LensAction::kRemove},
               {"attach", LensAction::kAttach}};
  for (const auto& p : plain) {
    if (action != p.name)
      continue;
    if (args.size() > 1)
      return fail(error, "unexpected '" + args[1] + "' after lens " + action);
    cmd.lens = p.action;
    return ParseResult::kCommand;
  }
  return fail(error, action.empty() ? "lens needs set, nack, stuck, mend, remove or attach"
                                    : "unknown lens command '" + action + "'");
}

ParseResult parse_bounce(std::string rest, Command& cmd, std::string& error) {
  size_t comment = rest.find('#');
  if (comment != std::string::npos)
    rest.resize(comment);
  const std::string arg1 = next_word(rest), arg2 = next_word(rest), count = next_word(rest);
  if (!next_word(rest).empty())
    return fail(error, "bounce takes a line, a level and a count of edges");
  cmd.kind = CommandKind::kBounce;
  cmd.pin = parse_pin(arg1);
  if (cmd.pin < 0)
    return fail(error, arg1.empty() ? "bounce needs a line" : unknown_input(arg1));
  if (is_driven_pin(cmd.pin))
    return fail(error, pin_label(cmd.pin) + " is an output: bounce sets inputs");
  if (!parse_level(arg2, cmd.level, error))
    return ParseResult::kError;
  if (!parse_count(count, kDefaultBounce, 2, kMaxBounce, cmd.edges))
    return fail(error, "bounce takes 2 to " + std::to_string(kMaxBounce) + " edges");
  return ParseResult::kCommand;
}

}  // namespace

ParseResult parse_command(const std::string& line, Command& cmd, std::string& error) {
  cmd = Command();
  std::string rest = trim(line);
  if (rest.empty() || rest[0] == '#')
    return ParseResult::kBlank;
  std::string name = next_word(rest);
  if (name == "send")
    return parse_send(rest, cmd, error);
  if (name == "lens")
    return parse_lens(rest, cmd, error);
  if (name == "bounce")
    return parse_bounce(rest, cmd, error);

  size_t hash = rest.find('#');
  if (hash != std::string::npos)
    rest.resize(hash);
  std::string arg1 = next_word(rest);
  std::string arg2 = next_word(rest);
  std::string extra = next_word(rest);
  if (!extra.empty())
    return fail(error, "unexpected '" + extra + "' after " + name);

  if (name == "edge" || name == "level") {
    cmd.kind = name == "edge" ? CommandKind::kEdge : CommandKind::kLevel;
    cmd.pin = parse_pin(arg1);
    if (cmd.pin < 0)
      return fail(error, arg1.empty() ? name + " needs a line" : unknown_input(arg1));
    // What the program drives is judged by what it wrote: the launcher sets
    // inputs only.
    if (is_driven_pin(cmd.pin))
      return fail(error, pin_label(cmd.pin) + " is an output: edge and level set inputs");
    if (!parse_level(arg2, cmd.level, error))
      return ParseResult::kError;
    return ParseResult::kCommand;
  }
  if (name == "hangup" || name == "reconnect" || name == "noise") {
    if (!parse_port(name, arg1, cmd.port, error))
      return ParseResult::kError;
    cmd.kind = name == "hangup"      ? CommandKind::kHangup
               : name == "reconnect" ? CommandKind::kReconnect
                                     : CommandKind::kNoise;
    int count = 0;
    if (cmd.kind != CommandKind::kNoise && !arg2.empty())
      return fail(error, "unexpected '" + arg2 + "' after " + name + " " + arg1);
    if (cmd.kind == CommandKind::kNoise) {
      if (!parse_count(arg2, kDefaultNoise, 1, kMaxNoise, count))
        return fail(error, "noise takes a count of bytes from 1 to " + std::to_string(kMaxNoise));
      cmd.bytes = noise_bytes(count);
    }
    return ParseResult::kCommand;
  }
  if (name == "wait") {
    char* end = nullptr;
    errno = 0;
    cmd.ms = std::strtol(arg1.c_str(), &end, 10);
    if (arg1.empty() || end != arg1.c_str() + arg1.size() || errno != 0 || cmd.ms < 0 ||
        cmd.ms > kMaxWaitMs)
      return fail(error, "wait needs milliseconds (0 to " + std::to_string(kMaxWaitMs) + ")");
    if (!arg2.empty())
      return fail(error, "unexpected '" + arg2 + "' after wait");
    cmd.kind = CommandKind::kWait;
    return ParseResult::kCommand;
  }
  if (name == "notify" || name == "quit" || name == "help") {
    if (!arg1.empty())
      return fail(error, "unexpected '" + arg1 + "' after " + name);
    cmd.kind = name == "notify" ? CommandKind::kNotify
               : name == "quit" ? CommandKind::kQuit
                                : CommandKind::kHelp;
    return ParseResult::kCommand;
  }
  return fail(error, "unknown command '" + name + "' (try help)");
}

bool load_script(const std::string& path, std::vector<Command>& out, std::string& error) {
  std::string content;
  std::string unread = read_bounded_file(path, kInputFileLimit, content);
  if (!unread.empty()) {
    error = path + ": " + unread;
    return false;
  }
  std::istringstream in(content);
  out.clear();
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    Command cmd;
    std::string why;
    ParseResult r = parse_command(line, cmd, why);
    if (r == ParseResult::kError) {
      error = path + ":" + std::to_string(number) + ": " + why;
      return false;
    }
    if (r == ParseResult::kCommand)
      out.push_back(cmd);
  }
  return true;
}

int bounce_level(const Command& cmd, int i) {
  return (cmd.edges - 1 - i) % 2 == 0 ? cmd.level : 1 - cmd.level;
}

const char* command_help() {
  return "  edge <pin|input|trigger|tune> <0|1>  set an input and raise an edge\n"
         "  level <pin|input|trigger|tune> <0|1>  set an input's level without an edge\n"
         "  notify                                the light controller sends FF AA EE on com2\n"
         "  send com1|com2 <text>                 the port's peer sends text (\\r \\n \\xHH)\n"
         "  lens set <reg> <value|b0 b1 b2 b3>    set a lens controller register (a number,\n"
         "                                        low byte first, or 4 hex bytes)\n"
         "  lens nack|stuck|mend                  the lens controller stops answering, the\n"
         "                                        bus sticks, both end\n"
         "  lens remove|attach                    /dev/i2c-5 disappears, comes back\n"
         "  hangup com1|com2                      the port's peer hangs up: the program's\n"
         "                                        line ends (reads nothing, writes fail)\n"
         "  reconnect com1|com2                   a new line at the port's path, which the\n"
         "                                        program opens again\n"
         "  noise com1|com2 [count]               the port's peer sends count noise bytes\n"
         "                                        (default 16)\n"
         "  bounce <input|trigger|tune|pin> <0|1> [edges]\n"
         "                                        edges 1 ms apart (default 5), the last to\n"
         "                                        the level, as a bouncing contact\n"
         "  wait <ms>                             pause before the next command\n"
         "  quit                                  end the program (SIGTERM, then SIGKILL)\n"
         "  help                                  this list\n";
}

}  // namespace kivsim
