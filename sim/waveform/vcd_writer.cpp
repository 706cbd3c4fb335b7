// SPDX-License-Identifier: MIT
#include "vcd_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kivsim {

VcdWriter::~VcdWriter() {
  if (file_)
    std::fclose(file_);
}

bool VcdWriter::open(const std::string& path, std::string& error) {
  path_ = path;
  // As the trace: a FIFO that nothing reads yet fails (ENXIO) rather than
  // holding the launcher before the program starts.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) {
    error = "cannot write the waveform " + path + ": " +
            (errno == ENXIO ? "a FIFO that nothing has open for reading" : std::strerror(errno));
    return false;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || !(file_ = fdopen(fd, "w"))) {
    error = "cannot write the waveform " + path + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  return true;
}

bool VcdWriter::close(std::string& error) {
  if (!file_)
    return true;
  bool ok = waveform_.write(file_, wires_only_);
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok)
    error = "the waveform " + path_ + " is incomplete: a write failed";
  return ok;
}

}  // namespace kivsim
