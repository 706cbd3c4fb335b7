// SPDX-License-Identifier: MIT
// An application built against the installed library and headers.
#include <kiv_config.h>
#include <kiv_io.h>
#include <kiv_serial.h>
#include <kiv_strip.h>

int main() {
  kiv::KivIo* io = kiv::KivIo::getInstance();
  kiv::KivIo::close_io();
  return io != nullptr && firmware_index_v2(0) == 0 && light_ws2811_deinit() == 0 ? 0 : 1;
}
