// SPDX-License-Identifier: MIT
#include "watch/stop_signals.h"

namespace kivctl {
namespace {

volatile sig_atomic_t g_stop = 0;
const int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

void on_stop(int) {
  g_stop = 1;
}

}  // namespace

StopSignals::StopSignals() {
  g_stop = 0;
  struct sigaction sa {};
  sa.sa_handler = on_stop;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < 3; ++i)
    sigaction(kSignals[i], &sa, &old_[i]);
}

StopSignals::~StopSignals() {
  for (int i = 0; i < 3; ++i)
    sigaction(kSignals[i], &old_[i], nullptr);
}

bool StopSignals::requested() {
  return g_stop != 0;
}

}  // namespace kivctl
