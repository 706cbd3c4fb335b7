// SPDX-License-Identifier: MIT
// What a slot's reader thread does: waits for input, reads one chunk and
// hands it to the slot's callback, as a zero-terminated string or as bytes
// and a count.
#include "serial/port_table.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "serial/chunk_handover.h"
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

}  // namespace

void* read_slot(void* arg) {
  const ReaderStart start = reader_start_of(arg);
  const int index = start.index;
  const unsigned generation = start.generation;
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
  kiv::wait_target_done(&slot.reader, pthread_self());
  return nullptr;
}

}  // namespace kiv::serial
