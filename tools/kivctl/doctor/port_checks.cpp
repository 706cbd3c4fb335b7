// SPDX-License-Identifier: MIT
// The serial ports as the library will open them.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "doctor/checks.h"
#include "doctor/port_holders.h"

namespace kivctl {
namespace {

std::string real_path(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// The console= entry of the kernel command line that puts the kernel's
// console on `path`, or "". A console names a device under /dev ("ttyAMA0",
// "serial0"), with its settings after a comma.
std::string console_on(const std::string& path) {
  std::istringstream words(kernel_cmdline());
  std::string word;
  const std::string device = real_path(path);
  while (words >> word) {
    if (word.rfind("console=", 0) != 0)
      continue;
    std::string name = word.substr(
        8, word.find(',') == std::string::npos ? std::string::npos : word.find(',') - 8);
    if (!name.empty() && !device.empty() && real_path("/dev/" + name) == device)
      return word;
  }
  return "";
}

}  // namespace

std::string kernel_cmdline() {
  std::ifstream f("/proc/cmdline");
  std::string line;
  std::getline(f, line);
  return line;
}

bool module_loaded(const std::string& name) {
  // A loaded module has its folder there, a module built into the kernel too.
  return access(("/sys/module/" + name).c_str(), F_OK) == 0;
}

Check check_port(const std::string& name) {
  Check c{name};
  const std::string path = "/dev/" + name;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    c.fail(Verdict::kFailure, path + " is missing: the library cannot open this port",
           "connect the port, or make " + path + " (a udev rule) point at its UART");
    return c;
  }
  if (stat(path.c_str(), &st) != 0) {
    c.fail(Verdict::kFailure, path + " points at nothing", "mend the link " + path);
    return c;
  }
  std::string device = real_path(path);
  c.details.push_back(path + " is " + device);
  if (!S_ISCHR(st.st_mode)) {
    c.fail(Verdict::kFailure, path + " is no character device",
           "make " + path + " name the port's tty");
    return c;
  }
  if (access(path.c_str(), R_OK | W_OK) != 0) {
    c.fail(Verdict::kFailure, path + " is not readable and writable by this user",
           "run as root, or add the user to the port's group (dialout)");
    return c;
  }
  // The library puts the line into raw mode: a device that is no terminal
  // (no tty settings) cannot be a serial port.
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    termios t;
    const bool terminal = tcgetattr(fd, &t) == 0;
    const int err = errno;
    close(fd);
    if (!terminal) {
      c.fail(Verdict::kFailure,
             path + " is no terminal (" + std::strerror(err) + "): the library cannot set its line",
             "make " + path +
                 " name the UART's tty (a udev rule or a link), not another "
                 "character device");
      return c;
    }
  }
  std::string console = console_on(path);
  if (!console.empty()) {
    c.fail(
        Verdict::kFailure,
        path + " carries the kernel's serial console (" + console + " on the kernel command line)",
        "remove " + console + " from the kernel command line (cmdline.txt) and reboot");
    return c;
  }
  const Holders holders = port_holders(path);
  for (const Holder& h : holders.found) {
    c.fail(Verdict::kFailure,
           path + " is held by process " + std::to_string(h.pid) + " (" + h.name + ")",
           "stop " + h.name + " (pid " + std::to_string(h.pid) + ") before using the device");
    return c;
  }
  if (holders.unreadable > 0) {
    c.fail(Verdict::kWarning,
           path +
               ": a character device, readable and writable, no console on it; held by none "
               "of this user's processes, but " +
               std::to_string(holders.unreadable) +
               " processes of other users could not be checked",
           "run the doctor as root to see every process that holds the port");
    return c;
  }
  c.summary = path + ": a character device, readable and writable, free, no console on it";
  return c;
}

}  // namespace kivctl
