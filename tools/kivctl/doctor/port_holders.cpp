// SPDX-License-Identifier: MIT
#include "doctor/port_holders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace kivctl {
namespace {

// Unix 98 pseudo-terminal slaves: majors 136 to 143.
bool is_pty_slave(const struct stat& st) {
  return S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

unsigned pty_index(const struct stat& st) {
  return (major(st.st_rdev) - 136) * 256 + minor(st.st_rdev);
}

// Whether descriptor `fd` of process `pid` is the master of pty `index`:
// "tty-index" in its fdinfo names the pair it belongs to.
bool is_master_of(const std::string& pid, const std::string& fd, unsigned index) {
  std::ifstream info("/proc/" + pid + "/fdinfo/" + fd);
  std::string key;
  while (info >> key) {
    if (key == "tty-index:") {
      unsigned n = 0;
      return (info >> n) && n == index;
    }
  }
  return false;
}

std::string command_name(const std::string& pid) {
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

}  // namespace

Holders port_holders(const std::string& path) {
  Holders holders;
  struct stat port;
  if (stat(path.c_str(), &port) != 0)
    return holders;
  bool pty = is_pty_slave(port);
  DIR* proc = opendir("/proc");
  if (!proc)
    return holders;
  const std::string self = std::to_string(getpid());
  while (dirent* p = readdir(proc)) {
    std::string pid = p->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
      continue;
    std::string fd_dir = "/proc/" + pid + "/fd";
    DIR* fds = opendir(fd_dir.c_str());
    if (!fds) {
      // A process that ended meanwhile is no holder; one that may not be
      // looked at could be.
      if (errno == EACCES || errno == EPERM)
        ++holders.unreadable;
      continue;
    }
    bool holds = false, far_end = false;
    while (dirent* f = readdir(fds)) {
      if (f->d_name[0] == '.')
        continue;
      struct stat st;
      if (stat((fd_dir + "/" + f->d_name).c_str(), &st) != 0)
        continue;
      // The same inode: a port reached by another name is the same port, and a
      // pty of another devpts instance with the same number is not.
      if (st.st_dev == port.st_dev && st.st_ino == port.st_ino)
        holds = true;
      else if (pty && S_ISCHR(st.st_mode) && st.st_dev == port.st_dev &&
               is_master_of(pid, f->d_name, pty_index(port)))
        far_end = true;
    }
    closedir(fds);
    if (holds && !far_end)
      holders.found.push_back({std::atoi(pid.c_str()), command_name(pid)});
  }
  closedir(proc);
  return holders;
}

}  // namespace kivctl
