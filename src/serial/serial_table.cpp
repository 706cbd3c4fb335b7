// SPDX-License-Identifier: MIT
// The port table and the receive buffers the wrappers register.
#include <sched.h>

#include "serial/serial_slot.h"

namespace kiv::serial {

// Static storage, zero at load: every slot starts never opened.
SerialPortSlot serial_ports[kSlotCount];
char serial_rx_buffers[kSlotCount][kReadSize];

void publish_read_buffer(SerialPortSlot& slot, char* buffer, int size) {
  unsigned seq = slot.registration_seq.load(std::memory_order_relaxed);
  // Two registrations at once must not interleave their stores.
  while ((seq & 1u) != 0 ||
         !slot.registration_seq.compare_exchange_weak(seq, seq + 1, std::memory_order_acquire)) {
    sched_yield();
    seq = slot.registration_seq.load(std::memory_order_relaxed);
  }
  slot.buffer.store(buffer, std::memory_order_relaxed);
  slot.buffer_size.store(size, std::memory_order_relaxed);
  slot.registration_seq.store(seq + 2, std::memory_order_release);
}

void take_read_buffer(SerialPortSlot& slot, char** buffer, int* size) {
  for (;;) {
    unsigned before = slot.registration_seq.load(std::memory_order_acquire);
    if ((before & 1u) != 0) {
      sched_yield();
      continue;
    }
    *buffer = slot.buffer.load(std::memory_order_relaxed);
    *size = slot.buffer_size.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot.registration_seq.load(std::memory_order_relaxed) == before)
      return;
  }
}

}  // namespace kiv::serial
