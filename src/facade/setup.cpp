// SPDX-License-Identifier: MIT
// The start-up sequence: GPIO lines, input interrupts, serial ports, the light
// controller's brightness and notification handler.
#include <wiringPi.h>

#include <cstdio>

#include "facade/facade_constants.h"
#include "facade/input_lines.h"
#include "facade/light_port.h"
#include "facade/messages.h"
#include "gpio/line_access.h"
#include "gpio/pins.h"
#include "kiv_io.h"
#include "kiv_serial.h"
#include "kiv_strip.h"

namespace kiv {
namespace {

struct RestingOutput {
  int pin;
  int level;
};

// In this order: DO1 and DO2 rest high; laser, scan status A and B, alarm low.
constexpr RestingOutput kRestingOutputs[] = {
    {pin::kDo1, HIGH},      {pin::kDo2, HIGH},      {pin::kLaser, LOW},
    {pin::kScanStatA, LOW}, {pin::kScanStatB, LOW}, {pin::kAlarm, LOW},
};

constexpr int kInputs[] = {pin::kInput, pin::kTrigger, pin::kTune};

}  // namespace

void KivIo::setup() {
  if (!gpio_ready()) {
    std::puts(msg::kGpioSetupError);
    return;
  }
  for (const RestingOutput& out : kRestingOutputs) {
    pinMode(out.pin, OUTPUT);
    digitalWrite(out.pin, out.level);
  }
  for (int input : kInputs) {
    if (prepare_input(input) != InputSetup::kReady) {
      std::puts(msg::kInterruptRegisterFailure);
      return;
    }
  }

  // The serial service takes a modifiable path.
  char com1[] = "/dev/com1";
  char com2[] = "/dev/com2";
  // Indices follow successful opens; a failed open is reported by the service.
  svSerialInit(com1, kSerialBaud);
  svSerialInit(com2, kSerialBaud);

  // The light controller starts at a known brightness; a failed write is
  // reported by the service.
  svSetBrightnessValue(kInitialBrightness);

  // The light controller's hardware notification; without port index 1 the
  // service prints the failure and start-up goes on.
  hear_light_notification();

  // The strip module prints its own failure; a running strip is restarted.
  light_ws2811_init();

  std::puts(msg::kSetupOk);
}

}  // namespace kiv
