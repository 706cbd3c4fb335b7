// SPDX-License-Identifier: MIT
#include "gpio/line_access.h"

#include <wiringPi.h>

#include "gpio/gpio_board_check.h"

namespace kiv {

bool gpio_ready() {
  // The GPIO library's set-up ends the process where it cannot identify the board.
  return gpio_board_identifiable() && wiringPiSetupGpio() >= 0;
}

void drive_output(int pin, int level) {
  digitalWrite(pin, level);
  pinMode(pin, OUTPUT);
}

}  // namespace kiv
