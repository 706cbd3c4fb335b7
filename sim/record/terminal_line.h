// SPDX-License-Identifier: MIT
// The settings of a serial line as its terminal holds them. On a
// pseudo-terminal the master's descriptor gives the slave's settings, so the
// launcher reads there what the program set on its port.
#pragma once

#include "event.h"

namespace kivsim {

// The line settings of terminal `fd`; a baud of 0 when it has none (no
// terminal, or a speed with no baud rate, B0).
SerialLine terminal_line(int fd);

}  // namespace kivsim
