// SPDX-License-Identifier: MIT
// Writes to a slot's port: WriteSerialPort, and the light controller's
// svWriteSerial, which holds the controller's pause in the writer's turn.
#include "kiv_config.h"
#include "serial/port_table.h"

using namespace kiv::serial;

namespace {

// The light controller needs this pause after every frame, sent or not.
int light_controller_pause() {
  return firmware_index_v2(5);
}

}  // namespace

int WriteSerialPort(char* data, int len, int index) {
  if (!valid_index(index))
    return -1;
  return write_port(serial_table().slots[index].writes, data, len, nullptr);
}

int svWriteSerial(char* data, int len, int index) {
  if (!valid_index(index))
    return -1;
  return write_port(serial_table().slots[index].writes, data, len,
                    index == 1 ? light_controller_pause : nullptr);
}
