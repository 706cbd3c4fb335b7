// SPDX-License-Identifier: MIT
// Registering a slot's read callback: a string callback with the buffer the
// reader reads into (SetReadSerialPortCallback), or a data callback with its
// user pointer (SetReadSerialPortDataCallback). One replaces the other.
#include <cstdio>

#include "serial/port_table.h"
#include "serial/serial_messages.h"

namespace kiv::serial {
namespace {

// Installs `next` and `buffer` on slot `index` in one step under the table's
// lock, then waits out a running call of the data callback it replaced, with
// the lock let go: that call may write to, open or close a port.
int register_reception(const ReadRegistration& next, char* buffer, int size, int index) {
  if (!valid_index(index))
    return -1;
  SerialTable& table = serial_table();
  SerialPortSlot& slot = table.slots[index];
  std::unique_lock<std::mutex> lock(table.mutex);
  // Closes and registrations of a slot take turns: until a close under way
  // has joined the reader, the callback being removed may still get a chunk
  // read before the close began, so the registration waits for the close
  // (unless its closer waits for the caller).
  while (slot.state == SlotState::kClosing)
    if (!wait_for_close(table, slot, lock))
      break;
  if (slot.state != SlotState::kOpen) {
    // Nothing is registered here any more, but a data callback that closed
    // its own port may still be running, and the caller may be about to free
    // its user pointer.
    const auto earlier = slot.reception.ticket_now();
    lock.unlock();
    std::puts(msg::kCallbackError);
    slot.reception.wait_out(earlier);
    return -1;
  }
  // A buffer of no room cannot be read into: refuse rather than let the reader
  // guess its size.
  if (buffer != nullptr && size < 1) {
    lock.unlock();
    std::puts(msg::kCallbackError);
    return -1;
  }
  const auto replaced = slot.reception.install(next);
  const char* previous = slot.buffer;
  slot.buffer = buffer;
  // A read never asks for more than the hand-over buffer holds, whatever the
  // registered size.
  slot.buffer_size = size > kReadSize ? kReadSize : size;
  // The caller may reuse the buffer it replaced as soon as this returns.
  if (previous != nullptr && previous != buffer && !on_reader_thread(slot.reader))
    table.changed.wait(lock, [&] { return slot.filling != previous; });
  lock.unlock();
  slot.reception.wait_out(replaced);
  return 0;
}

}  // namespace
}  // namespace kiv::serial

using namespace kiv::serial;

int SetReadSerialPortCallback(SerialReadCallback callback, char* buffer, int size, int index) {
  ReadRegistration next;
  next.text = callback;
  return register_reception(next, buffer, size, index);
}

int SetReadSerialPortDataCallback(SerialDataCallback callback, void* user, int index) {
  ReadRegistration next;
  next.data = callback;
  next.user = callback != nullptr ? user : nullptr;
  // The reader reads into its own buffer: nothing of the caller's is filled.
  return register_reception(next, nullptr, 0, index);
}
