// SPDX-License-Identifier: MIT
// The reader thread of a slot: waits for input, reads one chunk and hands it
// to the slot's callback as a zero-terminated string.
#include "serial/reader_thread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace kiv::serial {
namespace {

void drain_wake(int wake_fd) {
  eventfd_t value;
  (void)eventfd_read(wake_fd, &value);
}

// A port that hung up, vanished or keeps reporting end of file makes poll and
// read return at once on every pass. The slot stays served (the peer may come
// back), but such a pass waits out the poll interval on the wake descriptor
// alone, so it costs no CPU and a close still ends it at once.
void idle_pass(int wake_fd) {
  pollfd p{wake_fd, POLLIN, 0};
  (void)poll(&p, 1, kPollIntervalMs);
}

// Reads one chunk from `fd` into the registered buffer (or `scratch`) and
// copies it, zero-terminated, into `handover`. The buffer is claimed before the
// read and checked to be still the registered one, as the descriptor is.
ssize_t read_chunk(SerialPortSlot& slot, int fd, char* scratch, char* handover) {
  char* target;
  int want;
  for (;;) {
    take_read_buffer(slot, &target, &want);
    slot.reader.buffer_in_use.store(target);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    char* again;
    int again_size;
    take_read_buffer(slot, &again, &again_size);
    if (again == target && again_size == want)
      break;
  }
  if (target == nullptr || want < 1) {
    target = scratch;
    want = kReadSize;
  } else if (want > kReadSize) {
    want = kReadSize;  // the hand-over buffer holds no more
  }
  const ssize_t got = read(fd, target, static_cast<size_t>(want));
  const int read_errno = errno;
  if (got > 0) {
    std::memcpy(handover, target, static_cast<size_t>(got));
    handover[got] = '\0';
  }
  slot.reader.buffer_in_use.store(nullptr);
  errno = read_errno;
  return got;
}

void* SerialPortReadThread(void* arg) {
  const int index = static_cast<int>(reinterpret_cast<intptr_t>(arg));
  SerialPortSlot& slot = serial_ports[index];
  const int wake_fd = slot.reader.wake_fd;
  char scratch[kReadSize];
  char handover[kReadSize + 1];

  while (!slot.reader.stop.load()) {
    const int fd = slot.fd.load();
    if (fd <= 0)
      break;
    // Claimed, then checked again: a reopen that replaced the descriptor
    // meanwhile either sees the claim and waits, or is seen here.
    slot.reader.port_in_use.store(fd);
    if (slot.fd.load() != fd) {
      slot.reader.port_in_use.store(-1);
      continue;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    const int ready = poll(fds, 2, kPollIntervalMs);
    if (ready == 0)
      continue;
    if (ready < 0) {
      slot.reader.port_in_use.store(-1);
      if (errno != EINTR)
        idle_pass(wake_fd);
      continue;
    }
    if (fds[1].revents != 0) {
      drain_wake(wake_fd);
      continue;
    }
    if ((fds[0].revents & POLLIN) == 0) {
      slot.reader.port_in_use.store(-1);
      idle_pass(wake_fd);
      continue;
    }

    const ssize_t got = read_chunk(slot, fd, scratch, handover);
    slot.reader.port_in_use.store(-1);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
      continue;
    if (got <= 0) {
      idle_pass(wake_fd);
      continue;
    }

    const SerialReadCallback callback = slot.callback.load();
    if (callback != nullptr)
      callback(handover);
  }
  slot.reader.port_in_use.store(-1);
  slot.reader.finished.store(true);
  return nullptr;
}

void join_reader(SerialPortSlot& slot) {
  pthread_join(slot.reader.thread, nullptr);
  close(slot.reader.wake_fd);
  slot.reader.wake_fd = -1;
  slot.reader.joinable = false;
}

}  // namespace

bool start_reader(int index) {
  SerialPortSlot& slot = serial_ports[index];
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0)
    return false;
  slot.reader.wake_fd = wake_fd;
  slot.reader.stop.store(false);
  slot.reader.finished.store(false);
  slot.reader.port_in_use.store(-1);
  slot.reader.buffer_in_use.store(nullptr);
  // Marked before the thread runs: a callback that closes its own port right
  // away must already be recognised as running on the reader.
  slot.reader.joinable = true;
  const int rc = pthread_create(&slot.reader.thread, nullptr, SerialPortReadThread,
                                reinterpret_cast<void*>(static_cast<intptr_t>(index)));
  if (rc != 0) {
    close(wake_fd);
    slot.reader.wake_fd = -1;
    slot.reader.joinable = false;
    errno = rc;
    return false;
  }
  return true;
}

bool on_reader_thread(const SerialPortSlot& slot) {
  return slot.reader.joinable && pthread_equal(slot.reader.thread, pthread_self()) != 0;
}

void stop_reader(SerialPortSlot& slot) {
  if (!slot.reader.joinable)
    return;
  slot.reader.stop.store(true);
  if (on_reader_thread(slot))
    return;
  (void)eventfd_write(slot.reader.wake_fd, 1);
  join_reader(slot);
}

void reap_reader(SerialPortSlot& slot) {
  if (slot.reader.joinable && (slot.reader.stop.load() || slot.reader.finished.load()) &&
      !on_reader_thread(slot)) {
    join_reader(slot);
  }
}

namespace {

void pause_briefly() {
  timespec ts{0, 50000};
  nanosleep(&ts, nullptr);
}

}  // namespace

void retire_descriptor(SerialPortSlot& slot, int old_fd) {
  if (slot.reader.joinable && !on_reader_thread(slot) && slot.reader.port_in_use.load() == old_fd) {
    (void)eventfd_write(slot.reader.wake_fd, 1);
    while (slot.reader.port_in_use.load() == old_fd)
      pause_briefly();
  }
  close(old_fd);
}

void wait_buffer_released(const SerialPortSlot& slot, const char* buffer) {
  if (buffer == nullptr || !slot.reader.joinable || on_reader_thread(slot))
    return;
  // Pairs with the reader's fence between claiming a buffer and checking that
  // it is still the registered one.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  while (slot.reader.buffer_in_use.load() == buffer)
    pause_briefly();
}

void stop_all_readers() {
  for (SerialPortSlot& slot : serial_ports) {
    if (!slot.reader.joinable || on_reader_thread(slot))
      continue;
    slot.reader.stop.store(true);
    (void)eventfd_write(slot.reader.wake_fd, 1);
    // A callback that never returns must not hold the process at exit.
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 1;
    if (pthread_timedjoin_np(slot.reader.thread, nullptr, &deadline) == 0) {
      close(slot.reader.wake_fd);
      slot.reader.wake_fd = -1;
      slot.reader.joinable = false;
    }
  }
}

}  // namespace kiv::serial
