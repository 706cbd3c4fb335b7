// SPDX-License-Identifier: MIT
#include "memory_file.h"

#include <cstdlib>

namespace kivfuzz {

MemoryFile::MemoryFile(const uint8_t* data, size_t size) {
  // fmemopen refuses an empty buffer; an empty file is a null device read.
  file_ =
      size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "r") : std::fopen("/dev/null", "re");
  if (file_ == nullptr)
    std::abort();
}

MemoryFile::~MemoryFile() {
  std::fclose(file_);
}

}  // namespace kivfuzz
