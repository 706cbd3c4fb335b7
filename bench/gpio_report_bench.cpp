// SPDX-License-Identifier: MIT
// GPIO stand-in figures: how long digitalWrite takes while the stand-in
// reports to a launcher that reads nothing (the socket and the stand-in's
// backlog fill, and further reports are counted as lost), beside a reference
// taken in the same run: as many raw non-blocking sends of a report-sized line
// into a socketpair that nobody reads, the floor under any reporting write.
// "--short" times fewer writes. Runs in the simulated board's sandbox, whose "/proc/cpuinfo" names
// a Pi's revision as the stand-in's set-up needs.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sandbox.h"
#include "wiringPi.h"

namespace {

using Clock = std::chrono::steady_clock;
// Writes timed per figure (fewer with --short).
int g_writes = 60000;

void print_figures(const char* what, std::vector<double> us) {
  std::sort(us.begin(), us.end());
  auto at = [&](double q) {
    return us[static_cast<size_t>(q * static_cast<double>(us.size() - 1))];
  };
  std::printf("%-40s n=%-6zu median %8.2f us  p99 %8.2f us  p99.9 %8.2f us  max %9.2f us\n", what,
              us.size(), at(0.5), at(0.99), at(0.999), us.back());
}

template <typename Write>
std::vector<double> timed(Write write) {
  std::vector<double> us;
  us.reserve(static_cast<size_t>(g_writes));
  for (int i = 1; i <= g_writes; ++i) {
    auto start = Clock::now();
    write(i);
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  return us;
}

// The launcher's end of the stand-in's socket: listening where
// KIV_SIM_GPIO_SOCKET says, until the stand-in connects at set-up.
class SilentLauncher {
 public:
  bool listen() {
    char tmpl[] = "/tmp/kiv-gpio-bench-XXXXXX";
    if (!mkdtemp(tmpl))
      return false;
    dir_ = tmpl;
    path_ = dir_ + "/gpio.sock";
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path_.c_str());
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 1) != 0)
      return false;
    return setenv("KIV_SIM_GPIO_SOCKET", path_.c_str(), 1) == 0;
  }
  bool accept_peer() {
    peer_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer_ >= 0;
  }
  // Hanging up ends the stand-in's reporting, so its exit waits for no flush.
  ~SilentLauncher() {
    if (peer_ >= 0)
      close(peer_);
    if (listener_ >= 0)
      close(listener_);
    if (!path_.empty())
      unlink(path_.c_str());
    if (!dir_.empty())
      rmdir(dir_.c_str());
  }

 private:
  std::string dir_, path_;
  int listener_ = -1;
  int peer_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--short")
    g_writes = 2000;
  std::string reason = kivsim::Sandbox::enter();
  if (!reason.empty()) {
    std::fprintf(stderr, "gpio_report_bench: %s\n", reason.c_str());
    return 77;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  std::vector<double> reported;
  {
    SilentLauncher launcher;
    if (!launcher.listen() || wiringPiSetupGpio() != 0 || !launcher.accept_peer())
      return 1;
    pinMode(22, OUTPUT);
    reported = timed([](int i) { digitalWrite(22, i % 3 == 0); });
  }

  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
    return 1;
  const std::string line = "@123456789012 write 22 1\n";
  std::vector<double> raw = timed([&](int) {
    ssize_t ignored = send(pair[0], line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    (void)ignored;
  });
  close(pair[0]);
  close(pair[1]);

  print_figures("digitalWrite, launcher reading nothing", reported);
  print_figures("reference: raw send, nobody reading", raw);
  return 0;
}
