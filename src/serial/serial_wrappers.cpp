// SPDX-License-Identifier: MIT
// The sv wrappers through which the rest of the library opens, reads and
// closes the ports (svWriteSerial is with the writes, in slot_writes.cpp).
#include "serial/port_table.h"

using namespace kiv::serial;

namespace {

char rs232_path[] = "/dev/com1";

// The receive buffers svSetSerialReadCallback registers, one per slot.
char serial_rx_buffers[kSlotCount][kReadSize];

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

void svSerialFree(int index) {
  SerialPortFree(index);
}
