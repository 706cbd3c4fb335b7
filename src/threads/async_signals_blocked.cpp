// SPDX-License-Identifier: MIT
#include "threads/async_signals_blocked.h"

#include <pthread.h>

#include <initializer_list>

namespace kiv {

AsyncSignalsBlocked::AsyncSignalsBlocked() {
  sigset_t asynchronous;
  sigfillset(&asynchronous);
  for (int synchronous : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS})
    sigdelset(&asynchronous, synchronous);
  pthread_sigmask(SIG_SETMASK, &asynchronous, &saved_);
}

AsyncSignalsBlocked::~AsyncSignalsBlocked() {
  pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace kiv
