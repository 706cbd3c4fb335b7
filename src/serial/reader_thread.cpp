// SPDX-License-Identifier: MIT
// The reader thread of a slot: waits for input, reads one chunk and hands it
// to the slot's callback, as a zero-terminated string or as bytes and a count.
#include "serial/reader_thread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include "serial/chunk_handover.h"
#include "threads/async_signals_blocked.h"
#include "threads/wait_graph.h"

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

// What the reader was started with: its slot and its generation.
uintptr_t pack(int index, unsigned generation) {
  return static_cast<uintptr_t>(index) | (static_cast<uintptr_t>(generation) << 1);
}

// The outcome of one wait for input.
enum class Pass { kRead, kAgain, kIdle };

Pass wait_for_input(int fd, int wake_fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  const int ready = poll(fds, 2, kPollIntervalMs);
  if (ready == 0 || (ready < 0 && errno == EINTR))
    return Pass::kAgain;
  if (ready < 0)
    return Pass::kIdle;
  if (fds[1].revents != 0) {
    drain_wake(wake_fd);
    return Pass::kAgain;
  }
  return (fds[0].revents & POLLIN) != 0 ? Pass::kRead : Pass::kIdle;
}

void* SerialPortReadThread(void* arg) {
  const uintptr_t packed = reinterpret_cast<uintptr_t>(arg);
  const int index = static_cast<int>(packed & 1u);
  const unsigned generation = static_cast<unsigned>(packed >> 1);
  SerialTable& table = serial_table();
  SerialPortSlot& slot = table.slots[index];
  char scratch[kReadSize];
  char handover[kReadSize + 1];

  std::unique_lock<std::mutex> lock(table.mutex);
  const int wake_fd = slot.reader.wake_fd;
  while (!slot.reader.stop && slot.reader.generation == generation) {
    // The number stays the slot's until a close has joined this reader (or
    // this reader is the closing caller, and then it is not here).
    const int fd = slot.fd;
    lock.unlock();
    const Pass pass = wait_for_input(fd, wake_fd);
    if (pass == Pass::kIdle)
      idle_pass(wake_fd);
    lock.lock();
    if (pass != Pass::kRead || slot.reader.stop || slot.reader.generation != generation)
      continue;

    char* target = slot.buffer;
    size_t want = static_cast<size_t>(slot.buffer_size);
    if (target == nullptr || want < 1) {
      target = scratch;
      want = kReadSize;
    }
    slot.filling = slot.buffer;
    lock.unlock();
    const ssize_t got = read(fd, target, want);
    const int read_errno = errno;
    if (got > 0)
      take_chunk(handover, target, static_cast<size_t>(got));
    lock.lock();
    slot.filling = nullptr;
    table.changed.notify_all();
    if (got < 0 && (read_errno == EAGAIN || read_errno == EINTR))
      continue;
    if (got <= 0) {
      lock.unlock();
      idle_pass(wake_fd);
      lock.lock();
      continue;
    }
    lock.unlock();
    hand_over(slot.reception, handover, got);
    lock.lock();
  }
  // Whoever joins this reader may count it ended: a wait that names it must
  // not refuse another for a circle through a thread that is gone.
  wait_target_done(&slot.reader, pthread_self());
  return nullptr;
}

// Takes the reader out of the slot for joining.
struct TakenReader {
  pthread_t thread;
  int wake_fd;
};

TakenReader take_reader(SerialPortSlot& slot) {
  TakenReader taken{slot.reader.thread, slot.reader.wake_fd};
  slot.reader.running = false;
  slot.reader.wake_fd = -1;
  ++slot.reader.generation;
  return taken;
}

void join_taken(const TakenReader& taken, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  pthread_join(taken.thread, nullptr);
  close(taken.wake_fd);
  lock.lock();
}

}  // namespace

bool start_reader(SerialTable& table, int index) {
  SerialPortSlot& slot = table.slots[index];
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0)
    return false;
  ++slot.reader.generation;
  slot.reader.wake_fd = wake_fd;
  slot.reader.stop = false;
  int rc;
  {
    AsyncSignalsBlocked blocked;
    rc = pthread_create(&slot.reader.thread, nullptr, SerialPortReadThread,
                        reinterpret_cast<void*>(pack(index, slot.reader.generation)));
  }
  if (rc != 0) {
    close(wake_fd);
    slot.reader.wake_fd = -1;
    errno = rc;
    return false;
  }
  slot.reader.running = true;
  return true;
}

bool on_reader_thread(const SerialPortSlot& slot) {
  return slot.reader.running && pthread_equal(slot.reader.thread, pthread_self()) != 0;
}

void wake_reader(const SerialPortSlot& slot) {
  if (slot.reader.running)
    (void)eventfd_write(slot.reader.wake_fd, 1);
}

void stop_reader(SerialPortSlot& slot, std::unique_lock<std::mutex>& lock) {
  if (!slot.reader.running)
    return;
  slot.reader.stop = true;
  if (on_reader_thread(slot))
    return;
  wake_reader(slot);
  Wait wait(WaitKind::kReaderEnd, &slot.reader);
  if (!wait_admits(wait, slot.reader.thread))
    return;
  join_taken(take_reader(slot), lock);
}

Reaped reap_reader(SerialPortSlot& slot, std::unique_lock<std::mutex>& lock) {
  if (!slot.reader.running || !slot.reader.stop || on_reader_thread(slot))
    return Reaped::kNothing;
  wake_reader(slot);
  Wait wait(WaitKind::kReaderEnd, &slot.reader);
  if (!wait_admits(wait, slot.reader.thread))
    return Reaped::kRefused;
  join_taken(take_reader(slot), lock);
  return Reaped::kJoined;
}

void stop_all_readers() {
  SerialTable& table = serial_table();
  std::unique_lock<std::mutex> lock(table.mutex);
  for (SerialPortSlot& slot : table.slots) {
    if (!slot.reader.running || on_reader_thread(slot))
      continue;
    slot.reader.stop = true;
    wake_reader(slot);
    const pthread_t thread = slot.reader.thread;
    lock.unlock();
    // A callback that never returns must not hold the process at exit.
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 1;
    const bool joined = pthread_timedjoin_np(thread, nullptr, &deadline) == 0;
    lock.lock();
    if (joined) {
      close(slot.reader.wake_fd);
      slot.reader.wake_fd = -1;
      slot.reader.running = false;
    }
  }
}

}  // namespace kiv::serial
