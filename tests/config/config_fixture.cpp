// SPDX-License-Identifier: MIT
#include "config_fixture.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "kiv_config.h"
#include "sandbox.h"

namespace kivtest {

std::vector<std::string> updated_cpus_file_lines() {
  std::vector<std::string> lines;
  std::ifstream in(KIV_UPDATED_CPUS_FILE);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

std::string serial_in_table() {
  // The last entry: a match there means the whole table is searched.
  return updated_cpus_file_lines().back();
}

std::string serial_not_in_table() {
  auto lines = updated_cpus_file_lines();
  for (unsigned n = 0;; ++n) {
    char candidate[17];
    std::snprintf(candidate, sizeof candidate, "10000000%08x", 0xfeed0000u + n);
    if (std::find(lines.begin(), lines.end(), candidate) == lines.end())
      return candidate;
  }
}

std::string cpuinfo_with_serial(const std::string& serial) {
  return "processor\t: 0\nBogoMIPS\t: 108.00\nFeatures\t: fp asimd evtstrm crc32 cpuid\n\n"
         "Hardware\t: BCM2835\nRevision\t: d03114\nSerial\t\t: " +
         serial + "\nModel\t\t: Raspberry Pi 4 Model B Rev 1.4\n";
}

bool replace_config_file(const std::string& text) {
  if (!kivsim::Sandbox::write_etc_file("ul-opx3000.ini.new", text))
    return false;
  return std::rename("/etc/ul-opx3000.ini.new", "/etc/ul-opx3000.ini") == 0;
}

bool make_config_file_unopenable() {
  // Permissions do not stop root; opening a socket fails for everyone.
  kivsim::Sandbox::remove_etc_file("ul-opx3000.ini");
  int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0)
    return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "/etc/ul-opx3000.ini");
  bool ok = bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(s);
  return ok;
}

std::vector<int> configured_values() {
  std::vector<int> v;
  for (int n = 1; n <= 5; ++n)
    v.push_back(get_value_by_config(n));
  return v;
}

std::vector<int> values_in_force() {
  std::vector<int> v;
  for (int n = 1; n <= 5; ++n)
    v.push_back(firmware_index_v2(n));
  return v;
}

}  // namespace kivtest
