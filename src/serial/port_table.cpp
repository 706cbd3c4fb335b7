// SPDX-License-Identifier: MIT
// The serial port table: its two slots, and the calls that open and close a
// slot as one step under the table's lock. Opening a port into a slot
// (SerialPortInit, SerialPortInitEX), closing the port (SerialPortFree), and
// the readers' end at the library's unload. Registering a slot's read
// callback is in read_registration.cpp.
#include "serial/port_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "serial/serial_line.h"
#include "serial/serial_messages.h"
#include "threads/wait_graph.h"

namespace kiv::serial {

SerialTable& serial_table() {
  // Made at the first open and never destroyed: a reader that a callback keeps
  // busy at exit must not find its table gone.
  static SerialTable* const table = new SerialTable();
  return *table;
}

bool wait_for_close(SerialTable& table, SerialPortSlot& slot, std::unique_lock<std::mutex>& lock) {
  Wait wait(WaitKind::kCloseUnderWay, &slot);
  if (!wait_admits(wait, slot.closer))
    return false;
  table.changed.wait(lock, [&] { return !wait.pending(); });
  return true;
}

int slot_holding(const char* path) {
  SerialTable& table = serial_table();
  std::lock_guard<std::mutex> lock(table.mutex);
  for (int i = 0; i < kSlotCount; ++i)
    if (table.slots[i].state == SlotState::kOpen && std::strcmp(table.slots[i].path, path) == 0)
      return i;
  return -1;
}

namespace {

// The first slot that is free or already holds `path`, of all slots or of
// slot `only` alone; -1 when none may take it. A slot being closed is neither.
int choose_slot(const SerialTable& table, const char* path, int only) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (only >= 0 && i != only)
      continue;
    const SerialPortSlot& slot = table.slots[i];
    if (slot.state == SlotState::kFree ||
        (slot.state == SlotState::kOpen && std::strcmp(slot.path, path) == 0))
      return i;
  }
  return -1;
}

// A slot whose close the open must wait for, or -1: the slot of the same path
// while it is being closed, else, when no slot can be chosen, a slot being
// closed that will be free.
int close_to_wait_for(const SerialTable& table, const char* path, int only) {
  int closing = -1;
  for (int i = 0; i < kSlotCount; ++i) {
    const SerialPortSlot& slot = table.slots[i];
    if (slot.state != SlotState::kClosing || (only >= 0 && i != only))
      continue;
    if (std::strcmp(slot.path, path) == 0)
      return i;
    if (closing < 0)
      closing = i;
  }
  return choose_slot(table, path, only) < 0 ? closing : -1;
}

// Puts the slot's line into raw mode with `format` at `baud`, after discarding
// what came in before (and output only when `output_left`: see
// discard_pending). A first open keeps the settings the line had before, for
// the close; the speed the close leaves is the one of the latest open. Only
// non-blocking terminal calls, so they may run under the table's lock, which
// keeps two opens of the same slot from interleaving them.
void apply_settings(SerialPortSlot& slot, bool first_open, int baud, const FrameFormat& format,
                    bool output_left) {
  const speed_t speed = speed_for_baud(baud);
  if (first_open)
    tcgetattr(slot.fd, &slot.saved);
  cfsetspeed(&slot.saved, speed);
  const termios raw = raw_settings(speed, format);
  discard_pending(slot.fd, output_left);
  tcsetattr(slot.fd, TCSANOW, &raw);
  slot.baud = baud_of_speed(speed);
  slot.bits_per_char = bits_per_char(format);
}

// Drops the slot's registered buffer: the reader reads into its own again.
// Returns the buffer dropped.
const char* drop_registered_buffer(SerialPortSlot& slot) {
  const char* previous = slot.buffer;
  slot.buffer = nullptr;
  slot.buffer_size = 0;
  return previous;
}

// What a close leaves registered: a string callback, never a data callback.
ReadRegistration keep_string_callback(const ReadRegistration& registered) {
  ReadRegistration kept;
  kept.text = registered.text;
  return kept;
}

// An open that may not wait: the descriptor goes, and the usual message.
int refuse_open(int fd, const char* path, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  close(fd);
  std::printf(msg::kOpenError, path);
  return -1;
}

// Opens `path` into a slot (slot `only` when it is not -1); returns the slot
// index or -1.
int open_port(char* path, int baud, const FrameFormat& format, int only = -1) {
  if (path == nullptr) {
    std::printf(msg::kOpenError, "(null)");
    return -1;
  }
  if (strnlen(path, kPathCapacity) >= static_cast<size_t>(kPathCapacity)) {
    std::printf(msg::kPathTooLong, path);
    return -1;
  }
  // Non-blocking for the descriptor's whole life: the reader waits in poll,
  // and writes wait for room themselves.
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::printf(msg::kOpenError, path);
    return -1;
  }

  // Output already on the line (the slot's own, at a reopen) may leave it
  // before the open discards what is pending; not under the lock, since it
  // may take a while.
  const bool output_left = !wait_for_output_sent(fd);

  SerialTable& table = serial_table();
  std::unique_lock<std::mutex> lock(table.mutex);
  // Choosing and claiming the slot is one step under the lock. An open waits
  // for a close it must follow (see close_to_wait_for), and joins the reader
  // of a slot whose port a callback closed before it takes the slot; the
  // table may change during either wait, so the choice is made again. Either
  // wait is refused when the thread waited for is waiting for the caller
  // (threads/wait_graph.h): the open fails then.
  int index;
  for (;;) {
    const int closing = close_to_wait_for(table, path, only);
    if (closing >= 0) {
      if (!wait_for_close(table, table.slots[closing], lock))
        return refuse_open(fd, path, lock);
      continue;
    }
    index = choose_slot(table, path, only);
    if (index < 0)
      break;
    const Reaped reaped = reap_reader(table.slots[index].reader, lock);
    if (reaped == Reaped::kRefused)
      return refuse_open(fd, path, lock);
    if (reaped == Reaped::kNothing)
      break;
  }
  if (index < 0) {
    lock.unlock();
    close(fd);
    std::printf(msg::kNoFreeSlot, path);
    return -1;
  }
  SerialPortSlot& slot = table.slots[index];
  const bool reopen = slot.state == SlotState::kOpen;
  if (reopen) {
    // The new port takes the slot's number: whoever is on it meets this port.
    // (dup3, unlike dup2, keeps the number closed on exec.)
    int rc;
    do {
      rc = dup3(fd, slot.fd, O_CLOEXEC);
    } while (rc < 0 && (errno == EINTR || errno == EBUSY));
    if (rc < 0) {
      lock.unlock();
      close(fd);
      std::printf(msg::kOpenError, path);
      return -1;
    }
  } else {
    slot.state = SlotState::kOpen;
    slot.fd = fd;
    std::memcpy(slot.path, path, std::strlen(path) + 1);
  }
  const int number = slot.fd;
  const char* dropped = drop_registered_buffer(slot);
  apply_settings(slot, !reopen, baud, format, output_left);
  open_to_writers(slot.writes, slot.fd, slot.baud, slot.bits_per_char);

  bool reader_started = true;
  if (slot.reader.running) {
    // A running reader, or the caller itself in its callback, carries on with
    // the port on the same number, also when the callback closed it before.
    slot.reader.stop = false;
    wake_reader(slot.reader);
  } else {
    reader_started = start_reader(slot.reader, read_slot, index);
  }
  // Once the open returns, no read fills the buffer it dropped. The slot is
  // done with, so it may change while the wait lets the lock go.
  if (dropped != nullptr && !on_reader_thread(slot.reader))
    table.changed.wait(lock, [&] { return slot.filling != dropped; });
  lock.unlock();

  if (reopen)
    close(fd);
  std::printf(msg::kOpened, index, number);
  if (!reader_started) {
    std::puts(msg::kThreadInitError);
    return -1;
  }
  return index;
}

}  // namespace

int open_port_in_slot(char* path, int baud, int index) {
  if (!valid_index(index)) {
    std::printf(msg::kNoFreeSlot, path == nullptr ? "(null)" : path);
    return -1;
  }
  return open_port(path, baud, kFrame8N1, index);
}

}  // namespace kiv::serial

using namespace kiv::serial;

int SerialPortInit(char* path, int baud) {
  return open_port(path, baud, kFrame8N1) < 0 ? -1 : 0;
}

int SerialPortInitEX(char* path, int baud, int dataBits, int stopBits, char parity) {
  return open_port(path, baud, frame_format_from_options(dataBits, stopBits, parity));
}

void SerialPortFree(int index) {
  if (!valid_index(index))
    return;
  SerialTable& table = serial_table();
  SerialPortSlot& slot = table.slots[index];
  std::unique_lock<std::mutex> lock(table.mutex);
  // Closes of a slot take effect one after the other: a close under way is
  // waited for, unless its closer is waiting for the caller (then that close
  // finishes the work once the caller's callback returns).
  while (slot.state == SlotState::kClosing)
    if (!wait_for_close(table, slot, lock))
      return;
  if (slot.state != SlotState::kOpen) {
    // A reader asked to end while its callback ran is joined here; a data
    // call still running is waited for, so the caller may free its user
    // pointer once this returns.
    if (reap_reader(slot.reader, lock) == Reaped::kRefused)
      return;
    const auto earlier = slot.reception.ticket_now();
    lock.unlock();
    slot.reception.wait_out(earlier);
    return;
  }
  // From here on no new write starts and no open takes the slot; an open of
  // the same path waits for the slot to be free.
  slot.state = SlotState::kClosing;
  slot.closer = pthread_self();
  close_to_writers(slot.writes);
  // Under the same lock as the state: whoever sees the slot closing sees
  // whether this close waits for the reader.
  stop_reader(slot.reader, lock);
  // The reader is joined, or is the caller, or is waiting for the caller: no
  // call of the data callback on another thread is left but that last one,
  // which a later close can wait out. A later open must not hand chunks to
  // the callback. A string callback stays for the next open, as it always
  // has.
  const auto dropped = slot.reception.install(keep_string_callback(slot.reception.current()));
  // Writers see the closing slot within their wait slice and give up; the
  // number is not closed while one may still use it. The slot stays closing
  // meanwhile, so nothing else takes it while the table's lock is let go.
  lock.unlock();
  wait_for_writers_gone(slot.writes);
  lock.lock();
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
  kiv::wait_target_done(&slot, slot.closer);
  table.changed.notify_all();
  lock.unlock();
  slot.reception.wait_out(dropped);
}

namespace {

// A reader that closed its own port ends after its callback and waits to be
// joined; ports the application left open still have running readers. End and
// join them all before the library goes away.
__attribute__((destructor)) void end_readers_at_unload() {
  SerialTable& table = serial_table();
  std::unique_lock<std::mutex> lock(table.mutex);
  for (SerialPortSlot& slot : table.slots)
    end_reader_at_unload(slot.reader, lock);
}

}  // namespace
