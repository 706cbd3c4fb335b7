// SPDX-License-Identifier: MIT
// Which other processes hold a device file open.
#pragma once

#include <string>
#include <vector>

namespace kivctl {

struct Holder {
  int pid;
  std::string name;  // the process's command name
};

struct Holders {
  std::vector<Holder> found;
  // Processes whose descriptors this user may not read (other users', for a
  // user other than root): they may hold the port unseen.
  int unreadable = 0;
};

// The processes other than this one with `path` (followed through links)
// open. A process that holds the master of the pseudo-terminal behind `path`
// plays the line's far end, not a user of the port, and is left out.
Holders port_holders(const std::string& path);

}  // namespace kivctl
