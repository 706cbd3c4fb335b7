// SPDX-License-Identifier: MIT
#include "device.h"

namespace kivctl {

kiv::KivIo& Device::io() {
  kiv::KivIo& io = instance();
  if (!up_) {
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
