// SPDX-License-Identifier: MIT
#include "vcd_writer.h"

#include <cerrno>
#include <cstring>

namespace kivsim {

VcdWriter::~VcdWriter() {
  if (file_)
    std::fclose(file_);
}

bool VcdWriter::open(const std::string& path, std::string& error) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "we");
  if (!file_)
    error = "cannot write the waveform " + path + ": " + std::strerror(errno);
  return file_ != nullptr;
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
