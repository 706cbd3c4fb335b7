// SPDX-License-Identifier: MIT
// Opening a port into a slot: SerialPortInit, SerialPortInitEX.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "serial/line_settings.h"
#include "serial/reader_thread.h"
#include "serial/serial_messages.h"
#include "serial/serial_slot.h"

namespace kiv::serial {
namespace {

// The first slot that is free or already holds `path`; -1 when both hold
// other paths.
int choose_slot(const char* path) {
  for (int i = 0; i < kSlotCount; ++i) {
    const char* held = serial_ports[i].path;
    if (held[0] == '\0' || std::strcmp(held, path) == 0)
      return i;
  }
  return -1;
}

// Puts the line of `fd` into raw mode with `format` at `baud`, keeping the
// settings it had before for the slot's close.
void apply_settings(SerialPortSlot& slot, int fd, int baud, const FrameFormat& format) {
  const speed_t speed = speed_for_baud(baud);
  tcgetattr(fd, &slot.saved);
  cfsetspeed(&slot.saved, speed);
  const termios raw = raw_settings(speed, format);
  tcflush(fd, TCIOFLUSH);
  tcsetattr(fd, TCSANOW, &raw);
  slot.baud.store(baud_of_speed(speed));
  slot.bits_per_char.store(bits_per_char(format));
}

// Opens `path` into a slot; returns the slot index or -1.
int open_port(char* path, int baud, const FrameFormat& format) {
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
  const int index = choose_slot(path);
  if (index < 0) {
    close(fd);
    std::printf(msg::kNoFreeSlot, path);
    return -1;
  }
  SerialPortSlot& slot = serial_ports[index];
  std::printf(msg::kOpened, index, fd);

  reap_reader(slot);
  std::memcpy(slot.path, path, std::strlen(path) + 1);
  char* old_buffer;
  int old_size;
  take_read_buffer(slot, &old_buffer, &old_size);
  publish_read_buffer(slot, nullptr, 0);
  wait_buffer_released(slot, old_buffer);
  // Reopening the slot's own path: the running reader carries on with the new
  // descriptor, and the earlier one is closed once the reader is off it.
  const int previous = slot.fd.exchange(fd);
  if (previous > 0)
    retire_descriptor(slot, previous);
  apply_settings(slot, fd, baud, format);

  if (slot.reader.joinable) {
    // A running reader, or the caller itself in its callback, carries on with
    // the new descriptor, also when the callback closed the port before.
    slot.reader.stop.store(false);
  } else if (!start_reader(index)) {
    std::puts(msg::kThreadInitError);
    return -1;
  }
  return index;
}

}  // namespace
}  // namespace kiv::serial

using namespace kiv::serial;

int SerialPortInit(char* path, int baud) {
  return open_port(path, baud, kFrame8N1) < 0 ? -1 : 0;
}

int SerialPortInitEX(char* path, int baud, int dataBits, int stopBits, char parity) {
  return open_port(path, baud, frame_format_from_options(dataBits, stopBits, parity));
}
