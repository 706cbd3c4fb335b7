// SPDX-License-Identifier: MIT
// Light controller frames (placeholder).
#include "kiv_serial.h"
