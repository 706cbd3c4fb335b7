// SPDX-License-Identifier: MIT
// A request to the view: its method, the headers the view judges and its
// path, one a line, then its body. The head goes through the view's guard;
// a request that passes it, through the page's command parser and on to the
// launcher's queue. Whatever passes must come from the view's own page and
// ask for a command the page may give.
#include <cstdint>
#include <string>

#include "board_map.h"
#include "check.h"
#include "page_commands.h"
#include "page_requests.h"
#include "request_guard.h"

namespace {

constexpr int kPort = 8765;
constexpr size_t kMaxBody = 16 * 1024;

// The next line of `text` from `at`, which moves past it.
std::string take_line(const std::string& text, size_t& at) {
  size_t end = text.find('\n', at);
  if (end == std::string::npos)
    end = text.size();
  std::string line = text.substr(at, end - at);
  at = end < text.size() ? end + 1 : end;
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kivsim::PageCommands commands;
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  kivsim::RequestHead head;
  head.method = take_line(text, at);
  head.host = take_line(text, at);
  head.origin = take_line(text, at);
  head.content_type = take_line(text, at);
  head.content_length = take_line(text, at);
  head.chunked = take_line(text, at) == "1";
  const std::string path = take_line(text, at);
  const std::string body = text.substr(at);

  std::string reason;
  const int status = kivsim::refuse_request(head, kPort, kMaxBody, reason);
  if (status != 0) {
    KIV_FUZZ_CHECK((status == 403 || status == 411 || status == 413) && !reason.empty());
    return 0;
  }
  KIV_FUZZ_CHECK(kivsim::host_is_view(head.host, kPort));
  if (head.method == "GET" || head.method == "HEAD")
    return 0;
  KIV_FUZZ_CHECK(kivsim::origin_is_view(head.origin, kPort) && !head.chunked);
  KIV_FUZZ_CHECK(std::stoull(head.content_length) <= kMaxBody);

  kivsim::PageAction action;
  if (path == "/edge")
    action = kivsim::PageAction::kEdge;
  else if (path == "/send")
    action = kivsim::PageAction::kSend;
  else if (path == "/notify")
    action = kivsim::PageAction::kNotify;
  else
    return 0;
  kivsim::Command cmd;
  const std::string error = kivsim::page_command(action, body, cmd);
  if (!error.empty())
    return 0;
  switch (cmd.kind) {
    case kivsim::CommandKind::kEdge:
      KIV_FUZZ_CHECK(action == kivsim::PageAction::kEdge && kivsim::is_input_pin(cmd.pin) &&
                     (cmd.level == 0 || cmd.level == 1));
      break;
    case kivsim::CommandKind::kSend:
      KIV_FUZZ_CHECK(action == kivsim::PageAction::kSend && cmd.port == 1 && !cmd.bytes.empty());
      break;
    case kivsim::CommandKind::kNotify:
      KIV_FUZZ_CHECK(action == kivsim::PageAction::kNotify);
      break;
    default:  // the page asks for edges, sends and notifications only
      KIV_FUZZ_CHECK(false);
  }
  KIV_FUZZ_CHECK(commands.post(cmd));
  kivsim::Command taken;
  KIV_FUZZ_CHECK(commands.take_command(taken) && taken.kind == cmd.kind &&
                 taken.bytes == cmd.bytes);
  return 0;
}
