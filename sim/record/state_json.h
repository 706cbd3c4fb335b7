// SPDX-License-Identifier: MIT
// The device's state and its changes as JSON, in one shape for both: groups
// of fields, the lines keyed by their board map name ("laser") or their
// number ("40"):
//   {"outputs": {"laser": 1, ...}, "inputs": {"trigger": 0, ...},
//    "light": {"channels": [true, false, false, false], "work_mode": 5,
//              "light": true, "flash_count": 4, "flash_time": 25,
//              "brightness": 24, "flashes": 0, "frames": 7},
//    "lens": {"value": 1200, "vtemp": 1, "present": true, "stuck": false,
//             "answering": true},
//    "strip": {"leds": ["00ff00", ...], "renders": 2, "faults": 0},
//    "program": {"started": true, "ended": false, "exit_status": -1},
//    "counts": {"edges_raised": 1, "handlers_run": 1, "reports_lost": 0,
//               "com1_bytes": 12}}
// A change holds only the groups and fields it set, so that whoever draws
// the state sets those fields and keeps the rest. The board map goes with
// the state to the view: the lines in their order, by name and kind.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "device_state.h"
#include "state_change.h"

namespace kivsim {

// Every field of `state` (lines only once written, given or read).
nlohmann::json state_json(const DeviceState& state);
// The fields `change` set.
nlohmann::json change_json(const StateChange& change);
// Reads a change back from change_json's form. False, with `error` naming
// the group and field, for anything else.
bool change_from_json(const nlohmann::json& j, StateChange& change, std::string& error);

// The board map: [{"pin": 13, "name": "laser", "kind":
// "output"|"input"|"strip"}, ...] in the board's order.
nlohmann::json board_json();

}  // namespace kivsim
