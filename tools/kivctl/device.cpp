// SPDX-License-Identifier: MIT
#include "device.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "doctor/port_holders.h"
#include "i2c/lens_i2c.h"

#include "facade/facade_constants.h"
#include "facade/input_lines.h"
#include "facade/light_port.h"
#include "gpio/gpio_board_check.h"
#include "gpio/line_access.h"
#include "kiv_serial.h"
#include "kiv_strip.h"
#include "serial/port_table.h"
#include "strip/strip_state.h"

namespace kivctl {
namespace {

constexpr char kBoardUnknown[] =
    "the GPIO library cannot identify the board (no device-tree revision, no Revision line in "
    "/proc/cpuinfo): nothing was driven";

}  // namespace

kiv::KivIo& Device::io() {
  if (!up_) {
    if (!kiv::gpio_board_identifiable())
      throw Unavailable(kBoardUnknown);
    // setup() starts from a closed library, as an application's does: a port
    // an earlier command of a shell left open would else be opened twice.
    close();
    instance().setup();
    up_ = true;
    gpio_ = true;
  }
  return instance();
}

kiv::KivIo& Device::instance() {
  created_ = true;
  return *kiv::KivIo::getInstance();
}

void Device::gpio() {
  if (gpio_)
    return;
  if (!kiv::gpio_board_identifiable())
    throw Unavailable(kBoardUnknown);
  if (!kiv::gpio_ready())
    throw Unavailable("the GPIO library's set-up failed: nothing was driven");
  gpio_ = true;
}

void Device::input(int pin, const std::string& name) {
  gpio();
  instance();
  if (kiv::prepare_input(pin) != kiv::InputSetup::kReady)
    throw Unavailable("the GPIO library refused the interrupt of " + name);
}

void Device::light_port() {
  instance();
  const char* path = "/dev/com2";
  const int holding = kiv::serial::slot_holding(path);
  if (holding == kiv::kAma2Port)
    return;
  if (holding >= 0)
    throw Unavailable(
        "/dev/com2 is open in the first port slot (/dev/com1 was missing at set-up), where the "
        "library's light calls do not write");
  claim_port(path);
  if (kiv::open_light_port() < 0)
    throw Unavailable("/dev/com2, the light controller's port, could not be opened");
  // A process that opened it at the same moment may have passed the check
  // above too: both see each other now, and both give way.
  try {
    claim_port(path);
  } catch (const Unavailable&) {
    svSerialFree(kiv::kAma2Port);
    throw;
  }
}

void Device::claim_port(const std::string& path) {
  const Holders holders = port_holders(path);
  if (holders.found.empty())
    return;
  const Holder& h = holders.found.front();
  throw Unavailable(path + " is held by process " + std::to_string(h.pid) + " (" + h.name +
                    "): stop it first, two programs on one port take each other's bytes");
}

int Device::open_port(const std::string& path, const LineSettings& line) {
  claim_port(path);
  std::string name = path;
  const int index =
      SerialPortInitEX(&name[0], line.baud, line.data_bits, line.stop_bits, line.parity_letter());
  if (index < 0)
    return -1;
  try {
    claim_port(path);
  } catch (const Unavailable&) {
    SerialPortFree(index);
    throw;
  }
  return index;
}

void Device::lens_bus() {
  const int fd = open(kiv::lens::kBusDevice, O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return;
  }
  const int error = errno;
  const std::string bus = kiv::lens::kBusDevice;
  if (error == ENOENT)
    throw Unavailable(bus + " is missing (the I2C overlay is not loaded or the adapter is absent)");
  throw Unavailable(bus + " cannot be opened: " + std::strerror(error));
}

void Device::strip() {
  instance();
  if (!kiv::strip_running())
    light_ws2811_init();
}

void Device::close() {
  if (!created_)
    return;
  kiv::KivIo::close_io();
  up_ = false;
  created_ = false;
}

}  // namespace kivctl
