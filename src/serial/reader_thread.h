// SPDX-License-Identifier: MIT
// Internal: a port's reader thread: starting, waking, stopping and joining
// it. What the thread does is the port table's (slot_reading.h). Every
// function here is called with the lock that guards the ReaderThread held
// (`lock`, the port table's).
#pragma once

#include <pthread.h>

#include <mutex>

namespace kiv::serial {

// The reader thread of a port's slot.
struct ReaderThread {
  pthread_t thread;
  // Started and not yet taken for joining. A reader stays running after a
  // callback closed its own port, until it is joined by the slot's next open
  // or close (or carries on, when that callback reopens the port).
  bool running = false;
  // Asks the reader to end at its next pass; a reopen from the reader's own
  // callback clears it again.
  bool stop = false;
  // Bumped whenever a reader is taken for joining, so that a reader which
  // started a successor from its own callback ends instead of carrying on
  // beside it.
  unsigned generation = 0;
  // eventfd polled beside the port: a close, reopen or registration wakes the
  // reader at once instead of leaving it in its poll interval.
  int wake_fd = -1;
};

// What a reader was started with: its slot and its generation.
struct ReaderStart {
  int index;
  unsigned generation;
};
ReaderStart reader_start_of(void* arg);

// Starts `body` as the reader of slot `index` with its wake descriptor and
// asynchronous signals blocked; `body` gets what reader_start_of reads. False
// when either cannot be created; nothing is left behind then.
bool start_reader(ReaderThread& reader, void* (*body)(void*), int index);

// True when the caller runs on the reader thread (inside its callback).
bool on_reader_thread(const ReaderThread& reader);

// Makes the reader leave its poll at once and look at its slot again.
void wake_reader(const ReaderThread& reader);

// Asks the reader to end and joins it, letting the lock go meanwhile.
// Called from the reader's own callback, or from a thread that reader is
// waiting for (see threads/wait_graph.h), it only asks: the reader ends once
// its callback returns and is joined by the slot's next open or close.
void stop_reader(ReaderThread& reader, std::unique_lock<std::mutex>& lock);

enum class Reaped {
  kNothing,  // no reader had ended after its callback closed the port
  kJoined,   // one had, and is joined: the slot may have changed meanwhile
  kRefused,  // one is still in its callback, waiting for the caller
};

// Joins a reader that was asked to end (its port was closed from its callback
// or while it waited for the closer), letting the lock go meanwhile, unless
// the caller is that reader.
Reaped reap_reader(ReaderThread& reader, std::unique_lock<std::mutex>& lock);

// Asks the reader to end and joins it within a second, for the library's
// unload: a callback that never returns must not hold the process at exit.
void end_reader_at_unload(ReaderThread& reader, std::unique_lock<std::mutex>& lock);

}  // namespace kiv::serial
