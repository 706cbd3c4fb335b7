// SPDX-License-Identifier: MIT
// The board's lines outlive a program: each GPIO stand-in that connects is
// handed them as the run knows them, the modes and levels earlier programs
// left and the levels the launcher's commands hold (gpio_hand_over.h).
#include "board_run_internal.h"
#include "gpio_events.h"

namespace kivsim {

bool BoardRun::accept_gpio(std::string& note) {
  if (!s_.gpio->accept_client(note))
    return false;
  hand_over(s_.gpio->newest_client());
  return true;
}

void BoardRun::hand_over(int fd) {
  // What the stand-ins connected before have sent comes first: the last
  // reports of a program that has just ended belong in the hand-over.
  for (int other : s_.gpio->client_fds())
    if (other != fd)
      on_gpio_client(other);
  if (!s_.gpio->send_to(fd, hand_over_.wire_text())) {
    log_.note(EventSource::kGpio, EventKind::kNote,
              "the board's lines could not be handed to the stand-in that connected");
    return;
  }
  const std::string lines = hand_over_.summary();
  if (!lines.empty())
    log_.note(EventSource::kGpio, EventKind::kNote,
              "the board's lines handed to the stand-in that connected: " + lines);
  // A level set while no stand-in was connected reaches a program now: the
  // record takes it from here.
  for (const auto& [pin, level] : hand_over_.take_unseen()) {
    Event e = log_.make(EventSource::kGpio, EventKind::kLevel,
                        describe_gpio_command(false, pin, level) +
                            "   (held: handed to the stand-in that connected)");
    e.pin = pin;
    e.level = level;
    e.sent = true;
    log_.post(std::move(e));
  }
}

}  // namespace kivsim
