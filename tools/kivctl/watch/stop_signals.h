// SPDX-License-Identifier: MIT
// Ctrl-C, SIGTERM and SIGHUP end a watch as a normal end: the device is then
// closed in order (readers joined, callbacks unregistered).
#pragma once

#include <signal.h>

namespace kivctl {

class StopSignals {
 public:
  StopSignals();   // catches the three signals
  ~StopSignals();  // gives them back their former handling
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  // Whether one of them has come since construction.
  static bool requested();

 private:
  struct sigaction old_[3];
};

}  // namespace kivctl
