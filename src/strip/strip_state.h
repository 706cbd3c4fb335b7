// SPDX-License-Identifier: MIT
// Internal: whether the strip is running, for a caller of the status colour
// calls, which return nothing (kivctl): a colour set while it is not running
// reaches no LED.
#pragma once

namespace kiv {

bool strip_running();

}  // namespace kiv
