// SPDX-License-Identifier: MIT
// The launcher's end of a stand-in's link, taken over by a test: it listens
// where the stand-in's variable points and reads only when told, so that the
// test decides when the launcher is slow.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_support.h"

namespace kivtest {

class StalledLauncher {
 public:
  explicit StalledLauncher(const char* variable) {
    char dir[] = "/tmp/kiv-link-XXXXXX";
    dir_ = mkdtemp(dir);
    path_ = dir_ + "/link.sock";
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path_.c_str());
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener_, 1);
    setenv(variable, path_.c_str(), 1);
  }
  ~StalledLauncher() {
    if (peer_ >= 0)
      close(peer_);
    close(listener_);
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  StalledLauncher(const StalledLauncher&) = delete;
  StalledLauncher& operator=(const StalledLauncher&) = delete;

  bool accept_peer() {
    peer_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer_ >= 0;
  }
  // Reads in bulk until what was read holds `text` or `timeout` passes;
  // returns everything read so far.
  const std::string& read_until(const std::string& text,
                                std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    wait_until(
        [&] {
          Bytes got = drain(peer_, std::chrono::milliseconds(20));
          received_.append(got.begin(), got.end());
          return received_.find(text) != std::string::npos;
        },
        timeout);
    return received_;
  }

 private:
  std::string dir_, path_;
  int listener_ = -1;
  int peer_ = -1;
  std::string received_;
};

}  // namespace kivtest
