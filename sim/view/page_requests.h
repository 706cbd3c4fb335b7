// SPDX-License-Identifier: MIT
// The commands the view's page asks for, from the JSON body of its request:
//   POST /edge   {"line": "input"|"trigger"|"tune", "level": 0|1}
//   POST /send   {"text": "..."}  (\r \n \xHH as the launcher's send)
//   POST /notify (any JSON object, or no body)
#pragma once

#include <string>

#include "commands.h"

namespace kivsim {

enum class PageAction { kEdge, kSend, kNotify };

// "" with `cmd` set to the command `action` asks for, or why `body` is
// refused.
std::string page_command(PageAction action, const std::string& body, Command& cmd);

}  // namespace kivsim
