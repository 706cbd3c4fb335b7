// SPDX-License-Identifier: MIT
// Registering a slot's read callback: SetReadSerialPortCallback.
#include <cstdio>

#include "serial/port_table.h"
#include "serial/reader_thread.h"
#include "serial/serial_messages.h"

using namespace kiv::serial;

int SetReadSerialPortCallback(SerialReadCallback callback, char* buffer, int size, int index) {
  if (!valid_index(index))
    return -1;
  SerialTable& table = serial_table();
  SerialPortSlot& slot = table.slots[index];
  std::unique_lock<std::mutex> lock(table.mutex);
  // A buffer of no room cannot be read into: refuse rather than let the reader
  // guess its size.
  if (slot.state != SlotState::kOpen || (buffer != nullptr && size < 1)) {
    lock.unlock();
    std::puts(msg::kCallbackError);
    return -1;
  }
  slot.callback = callback;
  const char* previous = slot.buffer;
  slot.buffer = buffer;
  // A read never asks for more than the hand-over buffer holds, whatever the
  // registered size.
  slot.buffer_size = size > kReadSize ? kReadSize : size;
  // The caller may reuse the buffer it replaced as soon as this returns.
  if (previous != nullptr && previous != buffer && !on_reader_thread(slot))
    table.changed.wait(lock, [&] { return slot.filling != previous; });
  return 0;
}
