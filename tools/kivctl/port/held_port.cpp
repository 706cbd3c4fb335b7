// SPDX-License-Identifier: MIT
#include "port/held_port.h"

#include <termios.h>

#include <mutex>

#include "kiv_serial.h"
#include "serial/port_table.h"
#include "serial/serial_line.h"

namespace kivctl {
namespace {

// The settings the line of `slot` has now, read from its descriptor.
LineSettings settings_in_slot(int slot) {
  kiv::serial::SerialTable& table = kiv::serial::serial_table();
  int fd;
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    fd = table.slots[slot].fd;
  }
  LineSettings line;
  termios t{};
  if (fd < 0 || tcgetattr(fd, &t) != 0)
    return line;
  line.baud = kiv::serial::baud_of_speed(cfgetospeed(&t));
  line.data_bits = (t.c_cflag & CSIZE) == CS7 ? 7 : 8;
  line.parity = (t.c_cflag & PARENB) == 0 ? "none" : (t.c_cflag & PARODD) != 0 ? "odd" : "even";
  line.stop_bits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
  return line;
}

int open_with(std::string path, const LineSettings& line) {
  return SerialPortInitEX(&path[0], line.baud, line.data_bits, line.stop_bits,
                          line.parity_letter());
}

}  // namespace

HeldPortSettings::HeldPortSettings(const std::string& path, int slot, const LineSettings& line)
    : path_(path), before_(settings_in_slot(slot)), slot_(open_with(path, line)) {}

HeldPortSettings::~HeldPortSettings() {
  // The same path opens into the slot that holds it, keeping its reader and
  // callback.
  if (slot_ >= 0)
    open_with(path_, before_);
}

}  // namespace kivctl
