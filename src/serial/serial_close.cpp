// SPDX-License-Identifier: MIT
// Closing a port: SerialPortFree, and the readers' end at the library's unload.
#include <unistd.h>

#include "serial/reader_thread.h"
#include "serial/serial_slot.h"

using namespace kiv::serial;

void SerialPortFree(int index) {
  if (!valid_index(index))
    return;
  SerialPortSlot& slot = serial_ports[index];
  reap_reader(slot);
  if (slot.fd.load() <= 0)
    return;
  // -1 in the slot is the reader's signal to end; the descriptor is touched
  // only once the reader no longer uses it (it is joined, or it is the caller).
  const int fd = slot.fd.exchange(-1);
  stop_reader(slot);
  tcflush(fd, TCIOFLUSH);
  tcsetattr(fd, TCSANOW, &slot.saved);
  close(fd);
  slot.path[0] = '\0';
}

namespace {

// A reader that closed its own port ends after its callback and waits to be
// joined; ports the application left open still have running readers. End and
// join them all before the library goes away.
__attribute__((destructor)) void end_readers_at_unload() {
  stop_all_readers();
}

}  // namespace
