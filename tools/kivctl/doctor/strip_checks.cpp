// SPDX-License-Identifier: MIT
// The status strip: whether the LED library can start on this machine.
#include <unistd.h>
#include <ws2811.h>

#include <string>

#include "doctor/checks.h"
#include "kiv_strip.h"

namespace kivctl {
namespace {

// The onboard audio driver takes the PWM unit the strip's data line needs.
const char kAudioModule[] = "snd_bcm2835";
// How long each status colour stays for a person to see it.
constexpr useconds_t kColourUs = 500 * 1000;

}  // namespace

Check check_strip(Device* active) {
  Check c{"strip"};
  c.details.push_back("nine LEDs on GPIO 19 (PWM channel 1, DMA 10)");
  if (active) {
    kiv::KivIo& io = active->io();
    int result = light_ws2811_init();
    if (result != 0) {
      c.fail(Verdict::kFailure,
             std::string("the LED library cannot start here: ") +
                 ws2811_get_return_t_str(static_cast<ws2811_return_t>(result)) + " (" +
                 std::to_string(result) + ")",
             "run as root on a board the LED library knows, with GPIO 19 free");
      return c;
    }
    for (int state : {1, 2, 3, 0}) {
      io.setRgbLight(static_cast<unsigned char>(state));
      usleep(kColourUs);
    }
    c.summary = "the LED library started; blue, green, red, then off were shown";
  } else {
    c.summary = "not started (kivctl doctor --active starts it and shows the status colours)";
  }
  if (module_loaded(kAudioModule))
    c.fail(Verdict::kWarning,
           std::string("the onboard audio driver ") + kAudioModule +
               " is loaded: it shares the PWM unit with the strip",
           "set dtparam=audio=off in config.txt (or blacklist " + std::string(kAudioModule) +
               ") and reboot");
  return c;
}

}  // namespace kivctl
