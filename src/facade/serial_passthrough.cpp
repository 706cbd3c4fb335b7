// SPDX-License-Identifier: MIT
// Raw access to the two serial ports through the serial service.
#include "facade/facade_constants.h"
#include "kiv_io.h"
#include "kiv_serial.h"

namespace kiv {

int KivIo::writeAMA1(char* data, int len) {
  return svWriteSerial(data, len, kAma1Port);
}

void KivIo::setAMA1Callback(void (*fn)(char*)) {
  svSetSerialReadCallback(fn, kAma1Port);
}

void KivIo::setAMA1Callback(SerialDataCallback fn, void* user) {
  SetReadSerialPortDataCallback(fn, user, kAma1Port);
}

int KivIo::writeAMA2(char* data, int len) {
  return svWriteSerial(data, len, kAma2Port);
}

// Replaces the hardware notification handler that setup installed.
void KivIo::setAMA2Callback(void (*fn)(char*)) {
  svSetSerialReadCallback(fn, kAma2Port);
}

// The same, for a data callback.
void KivIo::setAMA2Callback(SerialDataCallback fn, void* user) {
  SetReadSerialPortDataCallback(fn, user, kAma2Port);
}

}  // namespace kiv
