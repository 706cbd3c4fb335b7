// SPDX-License-Identifier: MIT
// Internal: starting, waking, stopping and joining a slot's reader thread.
// Every function here is called with the table's mutex held (`lock`).
#pragma once

#include <mutex>

#include "serial/port_table.h"

namespace kiv::serial {

// Starts the reader of slot `index` with its wake descriptor and asynchronous
// signals blocked. False when either cannot be created; nothing is left
// behind then.
bool start_reader(SerialTable& table, int index);

// True when the caller runs on the slot's reader thread (inside its callback).
bool on_reader_thread(const SerialPortSlot& slot);

// Makes the reader leave its poll at once and look at the slot again.
void wake_reader(const SerialPortSlot& slot);

// Asks the slot's reader to end and joins it, letting the lock go meanwhile.
// Called from the reader's own callback, or from a thread that reader is
// waiting for (see threads/wait_graph.h), it only asks: the reader ends once
// its callback returns and is joined by the slot's next open or close.
void stop_reader(SerialPortSlot& slot, std::unique_lock<std::mutex>& lock);

enum class Reaped {
  kNothing,  // no reader had ended after its callback closed the port
  kJoined,   // one had, and is joined: the slot may have changed meanwhile
  kRefused,  // one is still in its callback, waiting for the caller
};

// Joins a reader that was asked to end (its port was closed from its callback
// or while it waited for the closer), letting the lock go meanwhile, unless
// the caller is that reader.
Reaped reap_reader(SerialPortSlot& slot, std::unique_lock<std::mutex>& lock);

// Ends and joins every reader: the library's unload.
void stop_all_readers();

}  // namespace kiv::serial
