// SPDX-License-Identifier: MIT
// The reader of the event stream that writes the trace: one JSON object a
// line per event (event_json.h), in the stream's order.
#pragma once

#include <cstdio>
#include <string>

#include "event.h"
#include "event_json.h"

namespace kivsim {

class TraceWriter {
 public:
  TraceWriter() = default;
  ~TraceWriter();
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // Creates (or empties) `path`. False with `error` set when it cannot, and
  // at once for a FIFO that no process has open for reading yet.
  bool open(const std::string& path, std::string& error);
  // Appends the event's line; a failed write is reported once, on close.
  void write(const Event& event);
  // Closes the file. False with `error` set when a write or the close failed.
  bool close(std::string& error);

 private:
  FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
};

}  // namespace kivsim
