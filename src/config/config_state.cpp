// SPDX-License-Identifier: MIT
// The configuration and board variant state, exported under plain names so
// that the application can read it. All zero at load; nothing runs at load.
#include "kiv_config.h"

config_t config = {0, 0, 0, 0, 0};
int is_configed = 0;
int is_x_device = 0;
char serial_buf[17] = {0};
