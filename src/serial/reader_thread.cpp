// SPDX-License-Identifier: MIT
// A port's reader thread: started with asynchronous signals blocked and a
// wake descriptor, asked to end, joined once the graph of waits admits it.
#include "serial/reader_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include "threads/async_signals_blocked.h"
#include "threads/wait_graph.h"

namespace kiv::serial {
namespace {

uintptr_t pack(int index, unsigned generation) {
  return static_cast<uintptr_t>(index) | (static_cast<uintptr_t>(generation) << 1);
}

// Takes the reader out of its slot for joining.
struct TakenReader {
  pthread_t thread;
  int wake_fd;
};

TakenReader take_reader(ReaderThread& reader) {
  TakenReader taken{reader.thread, reader.wake_fd};
  reader.running = false;
  reader.wake_fd = -1;
  ++reader.generation;
  return taken;
}

void join_taken(const TakenReader& taken, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  pthread_join(taken.thread, nullptr);
  close(taken.wake_fd);
  lock.lock();
}

}  // namespace

ReaderStart reader_start_of(void* arg) {
  const uintptr_t packed = reinterpret_cast<uintptr_t>(arg);
  return {static_cast<int>(packed & 1u), static_cast<unsigned>(packed >> 1)};
}

bool start_reader(ReaderThread& reader, void* (*body)(void*), int index) {
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0)
    return false;
  ++reader.generation;
  reader.wake_fd = wake_fd;
  reader.stop = false;
  int rc;
  {
    AsyncSignalsBlocked blocked;
    rc = pthread_create(&reader.thread, nullptr, body,
                        reinterpret_cast<void*>(pack(index, reader.generation)));
  }
  if (rc != 0) {
    close(wake_fd);
    reader.wake_fd = -1;
    errno = rc;
    return false;
  }
  reader.running = true;
  return true;
}

bool on_reader_thread(const ReaderThread& reader) {
  return reader.running && pthread_equal(reader.thread, pthread_self()) != 0;
}

void wake_reader(const ReaderThread& reader) {
  if (reader.running)
    (void)eventfd_write(reader.wake_fd, 1);
}

void stop_reader(ReaderThread& reader, std::unique_lock<std::mutex>& lock) {
  if (!reader.running)
    return;
  reader.stop = true;
  if (on_reader_thread(reader))
    return;
  wake_reader(reader);
  Wait wait(WaitKind::kReaderEnd, &reader);
  if (!wait_admits(wait, reader.thread))
    return;
  join_taken(take_reader(reader), lock);
}

Reaped reap_reader(ReaderThread& reader, std::unique_lock<std::mutex>& lock) {
  if (!reader.running || !reader.stop || on_reader_thread(reader))
    return Reaped::kNothing;
  wake_reader(reader);
  Wait wait(WaitKind::kReaderEnd, &reader);
  if (!wait_admits(wait, reader.thread))
    return Reaped::kRefused;
  join_taken(take_reader(reader), lock);
  return Reaped::kJoined;
}

void end_reader_at_unload(ReaderThread& reader, std::unique_lock<std::mutex>& lock) {
  if (!reader.running || on_reader_thread(reader))
    return;
  reader.stop = true;
  wake_reader(reader);
  const pthread_t thread = reader.thread;
  lock.unlock();
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += 1;
  const bool joined = pthread_timedjoin_np(thread, nullptr, &deadline) == 0;
  lock.lock();
  if (joined) {
    close(reader.wake_fd);
    reader.wake_fd = -1;
    reader.running = false;
  }
}

}  // namespace kiv::serial
