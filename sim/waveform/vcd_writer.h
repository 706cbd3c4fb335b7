// SPDX-License-Identifier: MIT
// The reader of a run's events that writes its waveform (waveform.h) to a
// file: opened before the run, so that a path that cannot be written stops
// the launcher at once, and written whole when the run has ended, since
// serial bytes are drawn past the time they were read.
#pragma once

#include <cstdio>
#include <string>

#include "waveform.h"

namespace kivsim {

class VcdWriter {
 public:
  explicit VcdWriter(bool wires_only = false) : wires_only_(wires_only) {}
  ~VcdWriter();
  VcdWriter(const VcdWriter&) = delete;
  VcdWriter& operator=(const VcdWriter&) = delete;

  // Creates (or empties) `path`. False with `error` set when it cannot.
  bool open(const std::string& path, std::string& error);
  void see(const Event& event) { waveform_.see(event); }
  // Writes the waveform and closes the file. False with `error` set when a
  // write or the close failed.
  bool close(std::string& error);

 private:
  const bool wires_only_;
  Waveform waveform_;
  std::FILE* file_ = nullptr;
  std::string path_;
};

}  // namespace kivsim
