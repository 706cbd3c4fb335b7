// SPDX-License-Identifier: MIT
// The input interrupts, registered with WiringPi once per process.
#pragma once

namespace kiv {

// Registers `handler` for both edges of `pin` with WiringPi, unless this
// process already did: a registration stays for the life of the process
// (close_io does not end it), and WiringPi does not refuse a second one but
// starts a second thread on the pin, which would call the handler twice per
// edge. Returns false when WiringPi refused the registration (the next call
// tries again). On the board each registration takes a second or more.
// Called from setup(); concurrent callers wait for each other.
bool register_interrupt_once(int pin, void (*handler)());

}  // namespace kiv
