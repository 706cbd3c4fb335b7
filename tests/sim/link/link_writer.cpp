// SPDX-License-Identifier: MIT
// A program for the link's tests, run on the simulated board: as fast as a
// stand-in could, it sends the launcher COUNT reports of the DO1 line
// (GPIO 22) going low, then one of it going high, and ends at once.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 30000;
  const char* path = std::getenv("KIV_SIM_GPIO_SOCKET");
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (!path || std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path) < 1)
    return 2;
  const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    return 3;
  std::string reports = "setup 0\nmode 22 1\n";
  for (long i = 0; i < count; ++i)
    reports += "write 22 0\n";
  reports += "write 22 1\n";
  for (size_t sent = 0; sent < reports.size();) {
    const ssize_t n = write(sock, reports.data() + sent, reports.size() - sent);
    if (n <= 0)
      return 4;
    sent += static_cast<size_t>(n);
  }
  close(sock);
  return 0;
}
