// SPDX-License-Identifier: MIT
// The port table and the receive buffers the wrappers register.
#include "serial/port_table.h"

namespace kiv::serial {

SerialTable& serial_table() {
  // Made at the first open and never destroyed: a reader that a callback keeps
  // busy at exit must not find its table gone.
  static SerialTable* const table = new SerialTable();
  return *table;
}

char serial_rx_buffers[kSlotCount][kReadSize];

}  // namespace kiv::serial
