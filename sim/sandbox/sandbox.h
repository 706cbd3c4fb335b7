// SPDX-License-Identifier: MIT
// Simulated board: a private mount namespace in which the library's fixed
// paths ("/dev/com1", "/dev/com2", "/etc/ul-opx3000.ini", "/proc/cpuinfo",
// "/proc/cmdline", "/sys/module") are the caller's, while the host's /dev, /etc and /proc stay
// untouched.
#pragma once

#include <string>
#include <vector>

namespace kivsim {

class Sandbox {
 public:
  // Moves the process into a private mount namespace with its own /dev
  // (overlay plus a fresh devpts instance) and its own /etc (overlay). Must be
  // called while the process has a single thread. Returns "" on success, or the
  // reason why namespaces are not available here. A second call does nothing.
  // "/proc/cpuinfo" then reads as a Raspberry Pi 4's, with its "Revision"
  // line and without a "Serial" line, until set_cpuinfo or hide_cpuinfo.
  static std::string enter();

  // Creates a pseudo-terminal pair and makes `dev_path` (for example
  // "/dev/com1") a link to its slave. The slave stays open in the sandbox, so
  // the master never sees a hang-up while the library has the port closed.
  // Returns the master descriptor (raw mode, close-on-exec), or -1.
  static int add_port(const char* dev_path);
  // Removes the link `dev_path`, so opening it fails as for a missing device.
  static void remove_port(const char* dev_path);
  // The slave path behind `dev_path` ("" when none).
  static std::string port_slave(const char* dev_path);

  // Writes /etc/<name> (inside the sandbox) with `content`.
  static bool write_etc_file(const char* name, const std::string& content, int mode = 0644);
  static void remove_etc_file(const char* name);

  // Makes /proc/cpuinfo read `content` (a scratch file bound over it).
  static bool set_cpuinfo(const std::string& content);
  // Makes /proc/cmdline (the kernel command line) read `content`, and
  // /sys/module hold a folder for each of `names` (the modules loaded). By
  // default they are a Pi's with no serial console and no audio driver.
  static bool set_kernel_cmdline(const std::string& content);
  static bool set_kernel_modules(const std::vector<std::string>& names);

  // Makes opening /proc/cpuinfo fail.
  static bool hide_cpuinfo();

  // A scratch folder private to this sandbox.
  static std::string scratch_dir();
};

}  // namespace kivsim
