// SPDX-License-Identifier: MIT
// Internal: starting the library's threads with asynchronous signals blocked.
#pragma once

#include <signal.h>

namespace kiv {

// Sets the calling thread's mask to every asynchronous signal while it lives
// and restores the caller's mask after. Threads started meanwhile (serial readers,
// the GPIO library's interrupt threads) inherit the blocked mask, so a signal
// meant for the application never interrupts their waits: the GPIO library
// gives up a pin's interrupt for good when its wait is interrupted. The
// synchronous signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS) are
// open, even where the caller blocks them, since blocking them would hide a
// crash.
class AsyncSignalsBlocked {
 public:
  AsyncSignalsBlocked();
  ~AsyncSignalsBlocked();
  AsyncSignalsBlocked(const AsyncSignalsBlocked&) = delete;
  AsyncSignalsBlocked& operator=(const AsyncSignalsBlocked&) = delete;

 private:
  sigset_t saved_;
};

}  // namespace kiv
