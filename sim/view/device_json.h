// SPDX-License-Identifier: MIT
// The device's state as the page draws it, in JSON:
//   {"outputs": {"laser": 1, "alarm": 0, "scanA": null, ...},   null: never written
//    "inputs": {"input": 0, "trigger": null, "tune": 1},
//    "light": {"channels": [true, false, false, false], "workMode": 3,
//              "lightOn": true, "flashCount": 3, "flashTime": 20,
//              "brightness": 100, "frames": 12},
//    "lens": {"value": 1000, "vtemp": 1, "present": true, "answering": true,
//             "stuck": false},
//    "leds": ["#00ff00", ...], "renders": 4,
//    "gpio": {"edges": 2, "handlers": 2},
//    "program": {"running": true, "status": ""}}
#pragma once

#include <string>

#include "run_observer.h"

namespace kivsim {

std::string device_json(const DeviceSnapshot& snapshot);

}  // namespace kivsim
