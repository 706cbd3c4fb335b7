// SPDX-License-Identifier: MIT
// The sv wrappers through which the rest of the library reaches the ports.
#include <cerrno>
#include <ctime>

#include "kiv_config.h"
#include "serial/serial_slot.h"

using namespace kiv::serial;

namespace {

char rs232_path[] = "/dev/com1";

// Sleeps the whole pause, however long the configuration makes it.
void pause_ms(int ms) {
  timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
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
  const int result = WriteSerialPort(data, len, index);
  if (index == 1) {
    // The light controller needs its pause after every frame, sent or not.
    const int pause = firmware_index_v2(5);
    if (pause > 0)
      pause_ms(pause);
  }
  return result;
}

void svSerialFree(int index) {
  SerialPortFree(index);
}
