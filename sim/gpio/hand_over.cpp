// SPDX-License-Identifier: MIT
#include "hand_over.h"

#include "board.h"
#include "wiringPi.h"

namespace kivsim {
namespace gpio {
namespace detail {

void take_hand_over(const link::GpioCommand& c) {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  if (b.hand_over_closed)
    return;  // the program runs already: the lines are its own now
  switch (c.kind) {
    case link::GpioCommandKind::kLatch: {
      Line& line = b.lines[c.pin];
      line.latch = c.level;
      if (line.mode == OUTPUT)
        line.level = c.level;
      break;
    }
    case link::GpioCommandKind::kMode:
      set_mode(b.lines[c.pin], c.mode);
      break;
    case link::GpioCommandKind::kPull:
      set_pull(b.lines[c.pin], c.level);
      break;
    case link::GpioCommandKind::kHandedOver:
      b.handed_over = true;
      b.changed.notify_all();
      break;
    default:
      break;  // edges and levels are the command thread's own
  }
}

void await_hand_over() {
  Board& b = board();
  std::unique_lock<std::mutex> lock(b.mutex);
  if (b.hand_over_awaited)
    return;
  b.hand_over_awaited = true;
  b.changed.wait_for(lock, kHandOverBound, [&b] { return b.handed_over || b.hand_over_ended; });
  b.hand_over_closed = true;
}

void hand_over_ended() {
  Board& b = board();
  std::lock_guard<std::mutex> lock(b.mutex);
  b.hand_over_ended = true;
  b.changed.notify_all();
}

}  // namespace detail
}  // namespace gpio
}  // namespace kivsim
