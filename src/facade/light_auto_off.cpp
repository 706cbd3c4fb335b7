// SPDX-License-Identifier: MIT
// The automatic switch-off routine that an application may run on a thread of
// its own after open_light.
#include <unistd.h>

#include "kiv_io.h"

namespace kiv {
namespace {

// 29 tests of the flag, 100 ms apart: the light goes off 2.9 s after the start.
constexpr int kLastWait = 28;
constexpr useconds_t kTestPeriodUs = 100 * 1000;

bool light_is_on() {
  return __atomic_load_n(&t_light_on, __ATOMIC_RELAXED) != 0;
}

}  // namespace

void* custom_light_run(void*) {
  for (int waited = 0; light_is_on() && waited <= kLastWait; ++waited)
    usleep(kTestPeriodUs);
  // close_light tests the flag again under its lock, so a light switched off
  // meanwhile is not switched off a second time.
  if (light_is_on())
    KivIo::getInstance()->close_light();
  return nullptr;
}

}  // namespace kiv
