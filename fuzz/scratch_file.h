// SPDX-License-Identifier: MIT
// One file of the process's own, rewritten with each input, for the readers
// that take a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kivfuzz {

// Writes `size` bytes at `data` as the whole of the scratch file (made once
// in the temporary folder, removed at exit) and returns its path.
const std::string& scratch_file(const uint8_t* data, size_t size);

}  // namespace kivfuzz
