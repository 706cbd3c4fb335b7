// SPDX-License-Identifier: MIT
#include "scratch_file.h"

#include <unistd.h>

#include <cstdlib>

namespace kivfuzz {
namespace {

struct Scratch {
  std::string path;
  int fd = -1;
  Scratch() {
    const char* dir = std::getenv("TMPDIR");
    std::string name =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/kiv-fuzz-XXXXXX";
    fd = mkstemp(name.data());
    if (fd < 0)
      std::abort();
    path = name;
  }
  ~Scratch() {
    close(fd);
    unlink(path.c_str());
  }
};

}  // namespace

const std::string& scratch_file(const uint8_t* data, size_t size) {
  static Scratch scratch;
  if (ftruncate(scratch.fd, 0) != 0)
    std::abort();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(scratch.fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0)
      std::abort();
    done += static_cast<size_t>(n);
  }
  return scratch.path;
}

}  // namespace kivfuzz
