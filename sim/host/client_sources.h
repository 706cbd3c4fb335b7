// SPDX-License-Identifier: MIT
// The connected clients of one of the launcher's servers, each watched by the
// reactor as a source of its own ("gpio client 7"). The server keeps the list
// of clients; this follows it after each accept and read.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "reactor.h"

namespace kivsim {

class ClientSources {
 public:
  // Each client's source is named after `group` and handled in `order` by
  // `on_readable` with its descriptor.
  ClientSources(Reactor& reactor, std::string group, int order,
                std::function<void(int fd)> on_readable);
  // Watches the clients of `fds` not watched yet and stops watching the rest.
  void follow(const std::vector<int>& fds);

 private:
  std::string name(int fd) const;
  Reactor& reactor_;
  std::string group_;
  int order_;
  std::function<void(int fd)> on_readable_;
  std::vector<int> watched_;
};

}  // namespace kivsim
