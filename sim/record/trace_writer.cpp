// SPDX-License-Identifier: MIT
#include "trace_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kivsim {

TraceWriter::~TraceWriter() {
  std::string ignored;
  close(ignored);
}

bool TraceWriter::open(const std::string& path, std::string& error) {
  path_ = path;
  // O_NONBLOCK: a FIFO that no process reads yet would hold the open, and the
  // launcher with it, before the program starts; it fails with ENXIO instead.
  int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) {
    error = "cannot write the trace " + path + ": " +
            (errno == ENXIO ? "a FIFO that nothing has open for reading" : std::strerror(errno));
    return false;
  }
  // Once open, writes wait for a slow reader as they would on any file.
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || !(file_ = fdopen(fd, "w"))) {
    error = "cannot write the trace " + path + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  return true;
}

void TraceWriter::write(const Event& event) {
  if (!file_ || failed_)
    return;
  std::string line = trace_line(event);
  line += '\n';
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size())
    failed_ = true;
}

bool TraceWriter::close(std::string& error) {
  if (!file_)
    return true;
  bool ok = !failed_ && std::fflush(file_) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok)
    error = "the trace " + path_ + " is incomplete: a write failed";
  return ok;
}

}  // namespace kivsim
