// SPDX-License-Identifier: MIT
// Bytes read back as a FILE, for the parsers that the library gives an open
// file: they read the fuzz input as they would read the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kivfuzz {

class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  FILE* get() const { return file_; }

 private:
  FILE* file_ = nullptr;
};

}  // namespace kivfuzz
