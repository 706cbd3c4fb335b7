// SPDX-License-Identifier: MIT
#include "bounded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kivsim {
namespace {

constexpr const char* kNotRegular = "not a regular file";

std::string too_large(size_t limit) {
  return "larger than " + std::to_string(limit >> 20) + " MiB";
}

// Reads to the end, but never more than `limit` bytes: a file may grow while
// it is read, and some (under /proc) give no size at all.
std::string read_to_end(int fd, size_t limit, std::string& content) {
  std::string data;
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return std::strerror(errno);
    if (n == 0)
      break;
    if (static_cast<size_t>(n) > limit - data.size())
      return too_large(limit);
    data.append(chunk, static_cast<size_t>(n));
  }
  content = std::move(data);
  return "";
}

}  // namespace

std::string read_bounded_file(const std::string& path, size_t limit, std::string& content) {
  // Looked at before it is opened: opening a device can have effects of its own.
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return std::strerror(errno);
  if (!S_ISREG(st.st_mode))
    return kNotRegular;
  // O_NONBLOCK: should the path become a FIFO meanwhile, the open must not
  // wait for a writer; the second look below refuses it.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return std::strerror(errno);
  std::string why;
  if (fstat(fd, &st) != 0)
    why = std::strerror(errno);
  else if (!S_ISREG(st.st_mode))
    why = kNotRegular;
  else if (static_cast<unsigned long long>(st.st_size) > limit)
    why = too_large(limit);
  else
    why = read_to_end(fd, limit, content);
  close(fd);
  return why;
}

}  // namespace kivsim
