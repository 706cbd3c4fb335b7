// SPDX-License-Identifier: MIT
// The listening socket through which a stand-in or layer in the program
// reaches the launcher.
#pragma once

#include <string>

namespace kivsim {

// Listens on a non-blocking, close-on-exec Unix stream socket at `path`,
// replacing a stale socket file there. Returns the descriptor, or -1 with the
// reason in `error`.
int listen_unix(const std::string& path, int backlog, std::string& error);

}  // namespace kivsim
