// SPDX-License-Identifier: MIT
// kiv_io: symbol visibility for the exported interface.
#pragma once

// The library is built with hidden visibility; only what carries this mark is exported.
#define KIV_EXPORT __attribute__((visibility("default")))
