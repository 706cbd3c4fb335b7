// SPDX-License-Identifier: MIT
// Lets a test make the next thread creations fail. Defined in the test
// executable, this pthread_create comes before the C library's.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>

namespace kivtest {
std::atomic<int> fail_next_thread_creations{0};
}

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                              void* arg) {
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  int left = kivtest::fail_next_thread_creations.load();
  while (left > 0) {
    if (kivtest::fail_next_thread_creations.compare_exchange_weak(left, left - 1))
      return EAGAIN;
  }
  return real(thread, attr, start, arg);
}
