// SPDX-License-Identifier: MIT
#include "facade/light_port.h"

#include "facade/facade_constants.h"
#include "kiv_io.h"
#include "kiv_serial.h"
#include "serial/port_table.h"

namespace kiv {

void hear_light_notification() {
  // Without port index 1 the service prints the failure.
  svSetSerialReadCallback(callbackHardware, kAma2Port);
}

int open_light_port() {
  char path[] = "/dev/com2";
  if (serial::open_port_in_slot(path, kSerialBaud, kAma2Port) != kAma2Port)
    return -1;
  hear_light_notification();
  return kAma2Port;
}

}  // namespace kiv
