// SPDX-License-Identifier: MIT
// Registering a slot's read callback: SetReadSerialPortCallback.
#include <cstdio>

#include "serial/reader_thread.h"
#include "serial/serial_messages.h"
#include "serial/serial_slot.h"

using namespace kiv::serial;

int SetReadSerialPortCallback(SerialReadCallback callback, char* buffer, int size, int index) {
  if (!valid_index(index))
    return -1;
  SerialPortSlot& slot = serial_ports[index];
  // A buffer of no room cannot be read into: refuse rather than let the reader
  // guess its size.
  if (slot.fd.load() <= 0 || (buffer != nullptr && size < 1)) {
    std::puts(msg::kCallbackError);
    return -1;
  }
  slot.callback.store(callback);
  char* previous;
  int previous_size;
  take_read_buffer(slot, &previous, &previous_size);
  // A read never asks for more than the hand-over buffer holds, whatever the
  // registered size.
  publish_read_buffer(slot, buffer, size > kReadSize ? kReadSize : size);
  // The caller may reuse the buffer it replaced as soon as this returns.
  if (previous != buffer)
    wait_buffer_released(slot, previous);
  return 0;
}
