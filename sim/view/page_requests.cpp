// SPDX-License-Identifier: MIT
#include "page_requests.h"

#include <nlohmann/json.hpp>

#include "board_map.h"

namespace kivsim {
namespace {

constexpr size_t kMaxSendText = 4096;

std::string edge_command(const nlohmann::json& body, Command& cmd) {
  auto line = body.find("line");
  auto level = body.find("level");
  if (line == body.end() || !line->is_string())
    return "\"line\" must name an input";
  int pin = parse_pin(line->get<std::string>());
  if (pin < 0 || !is_input_pin(pin))
    return "\"line\" must be an input: " + line_names(LineKind::kInput);
  if (level == body.end() || !level->is_number_integer() || (*level != 0 && *level != 1))
    return "\"level\" must be 0 or 1";
  cmd = Command();
  cmd.kind = CommandKind::kEdge;
  cmd.pin = pin;
  cmd.level = level->get<int>();
  return "";
}

std::string send_command(const nlohmann::json& body, Command& cmd) {
  auto text = body.find("text");
  if (text == body.end() || !text->is_string())
    return "\"text\" must be a string";
  const std::string& t = text->get_ref<const std::string&>();
  if (t.empty() || t.size() > kMaxSendText)
    return "\"text\" must hold 1 to " + std::to_string(kMaxSendText) + " characters";
  if (t.find_first_of("\r\n") != std::string::npos)
    return "\"text\" writes line ends as \\r and \\n";
  std::string error;
  if (parse_command("send com1 " + t, cmd, error) != ParseResult::kCommand)
    return error.empty() ? "nothing to send" : error;
  return "";
}

}  // namespace

std::string page_command(PageAction action, const std::string& body, Command& cmd) {
  const nlohmann::json parsed =
      nlohmann::json::parse(body.empty() ? std::string("{}") : body, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object())
    return "the body is not a JSON object";
  switch (action) {
    case PageAction::kEdge:
      return edge_command(parsed, cmd);
    case PageAction::kSend:
      return send_command(parsed, cmd);
    case PageAction::kNotify:
      cmd = Command();
      cmd.kind = CommandKind::kNotify;
      return "";
  }
  return "no such command";
}

}  // namespace kivsim
