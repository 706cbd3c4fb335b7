// SPDX-License-Identifier: MIT
#include "device.h"

#include "gpio/gpio_board_check.h"

namespace kivctl {

kiv::KivIo& Device::io() {
  kiv::KivIo& io = instance();
  if (!up_) {
    if (!kiv::gpio_board_identifiable())
      throw Unavailable(
          "the GPIO library cannot identify the board (no device-tree revision, no "
          "Revision line in /proc/cpuinfo): nothing was driven");
    io.setup();
    up_ = true;
  }
  return io;
}

kiv::KivIo& Device::instance() {
  created_ = true;
  return *kiv::KivIo::getInstance();
}

void Device::close() {
  if (!created_)
    return;
  kiv::KivIo::close_io();
  up_ = false;
  created_ = false;
}

}  // namespace kivctl
