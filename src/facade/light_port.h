// SPDX-License-Identifier: MIT
// Internal: the light controller's port as setup() leaves it, for a caller
// that brings up that port alone (kivctl).
#pragma once

namespace kiv {

// Registers the facade's notification handler on the light controller's
// slot, as setup() does once the ports are open.
void hear_light_notification();

// Opens "/dev/com2" at the library's speed into the slot the light calls
// write to, and registers the notification handler there. Returns that slot,
// or -1 (the service prints why).
int open_light_port();

}  // namespace kiv
