// SPDX-License-Identifier: MIT
// Simulated board: the thread of each line's interrupt, which runs its
// handler once per queued edge. Internal.
#pragma once

#include <mutex>

#include "board.h"

namespace kivsim {
namespace gpio {
namespace detail {

// Starts the thread of `pin`'s interrupt. Board mutex held. Returns false if
// the thread could not be created.
bool start_isr_thread(Board& b, int pin);
// Forgets `pin`'s interrupt and ends its thread, waiting (without the board
// mutex) for a running handler unless called from that handler.
void retire_isr(Board& b, int pin, std::unique_lock<std::mutex>& lock);
// Queues an edge for `pin`'s handler if its edge type wants it. Board mutex
// held. Returns whether the edge was queued.
bool queue_edge(Board& b, int pin, int new_level);

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
