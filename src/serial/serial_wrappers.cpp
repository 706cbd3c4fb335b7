// SPDX-License-Identifier: MIT
// The sv wrappers through which the rest of the library reaches the ports.
#include "kiv_config.h"
#include "serial/port_table.h"
#include "serial/port_writer.h"

using namespace kiv::serial;

namespace {

char rs232_path[] = "/dev/com1";

// The receive buffers svSetSerialReadCallback registers, one per slot.
char serial_rx_buffers[kSlotCount][kReadSize];

// The light controller needs this pause after every frame, sent or not.
int light_controller_pause() {
  return firmware_index_v2(5);
}

}  // namespace

int svSerialInit(char* path, int baud) {
  return SerialPortInit(path, baud);
}

int svSerialInitRS232(int baud, int dataBits, int stopBits, char parity) {
  return SerialPortInitEX(rs232_path, baud, dataBits, stopBits, parity);
}

int svSetSerialReadCallback(SerialReadCallback callback, int index) {
  char* buffer = serial_rx_buffers[index == 0 ? 0 : 1];
  return SetReadSerialPortCallback(callback, buffer, kReadSize, index);
}

int svWriteSerial(char* data, int len, int index) {
  return write_port(data, len, index, index == 1 ? light_controller_pause : nullptr);
}

void svSerialFree(int index) {
  SerialPortFree(index);
}
