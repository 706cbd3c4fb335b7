// SPDX-License-Identifier: MIT
// Closing a port: SerialPortFree, and the readers' end at the library's unload.
#include <unistd.h>

#include "serial/output_drain.h"
#include "serial/port_table.h"
#include "serial/reader_thread.h"

using namespace kiv::serial;

void SerialPortFree(int index) {
  if (!valid_index(index))
    return;
  SerialTable& table = serial_table();
  SerialPortSlot& slot = table.slots[index];
  std::unique_lock<std::mutex> lock(table.mutex);
  if (slot.state != SlotState::kOpen) {
    // A reader that ended after its callback closed the port is joined here.
    reap_reader(slot, lock);
    return;
  }
  // From here on no new write starts and no open takes the slot; an open of
  // the same path waits for the slot to be free.
  slot.state = SlotState::kClosing;
  slot.writes.turn_passed.notify_all();
  stop_reader(slot, lock);
  // Writers see the closing slot within their wait slice and give up; the
  // number is not closed while one may still use it.
  table.changed.wait(lock, [&] { return slot.writes.head == nullptr; });
  const int fd = slot.fd;
  const termios saved = slot.saved;
  const int baud = slot.baud;
  const int bits = slot.bits_per_char;
  // Waiting for output, and closing a real line, take time: not under the lock.
  lock.unlock();
  // Bytes a write reported as written still reach the peer: they may leave
  // the line first, within a bound, and are discarded only if they do not.
  discard_pending(fd, !wait_for_output_sent(fd, baud, bits));
  tcsetattr(fd, TCSANOW, &saved);
  close(fd);
  lock.lock();
  slot.fd = -1;
  slot.path[0] = '\0';
  slot.state = SlotState::kFree;
  table.changed.notify_all();
}

namespace {

// A reader that closed its own port ends after its callback and waits to be
// joined; ports the application left open still have running readers. End and
// join them all before the library goes away.
__attribute__((destructor)) void end_readers_at_unload() {
  stop_all_readers();
}

}  // namespace
