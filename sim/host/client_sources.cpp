// SPDX-License-Identifier: MIT
#include "client_sources.h"

#include <algorithm>

namespace kivsim {

ClientSources::ClientSources(Reactor& reactor, std::string group, int order,
                             std::function<void(int fd)> on_readable)
    : reactor_(reactor),
      group_(std::move(group)),
      order_(order),
      on_readable_(std::move(on_readable)) {}

std::string ClientSources::name(int fd) const {
  return group_ + " client " + std::to_string(fd);
}

void ClientSources::follow(const std::vector<int>& fds) {
  for (auto it = watched_.begin(); it != watched_.end();) {
    if (std::find(fds.begin(), fds.end(), *it) != fds.end()) {
      ++it;
      continue;
    }
    reactor_.remove(name(*it));
    it = watched_.erase(it);
  }
  for (int fd : fds) {
    if (std::find(watched_.begin(), watched_.end(), fd) != watched_.end())
      continue;
    // Any event, a hang-up included: the server learns of a client's end by reading it.
    reactor_.add(name(fd), fd, POLLIN, order_, [this, fd](short) { on_readable_(fd); });
    watched_.push_back(fd);
  }
}

}  // namespace kivsim
