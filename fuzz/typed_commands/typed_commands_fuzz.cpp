// SPDX-License-Identifier: MIT
// Commands typed on the launcher's standard input, arriving in reads of any
// size and split anywhere, through its line assembly and command parser, up
// to the end of the input.
#include <unistd.h>

#include <cstdint>

#include "check.h"
#include "chunks.h"
#include "event_log.h"
#include "event_stream.h"
#include "typed_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int ends[2];
  KIV_FUZZ_CHECK(pipe(ends) == 0);
  kivsim::EventStream stream;
  kivsim::EventLog log(stream);
  kivsim::TypedCommands typed(ends[0]);
  // No larger than one read of the launcher's, so each chunk is one read.
  kivfuzz::Chunks input(data, size, 1024);
  const uint8_t* chunk;
  size_t len;
  double now_ms = 0;
  while (input.next(chunk, len)) {
    if (len == 0)
      continue;  // an empty read is the end of the input
    KIV_FUZZ_CHECK(write(ends[1], chunk, len) == static_cast<ssize_t>(len));
    typed.on_readable(now_ms, log);
    KIV_FUZZ_CHECK(typed.fd() == ends[0]);
    now_ms += 1;
  }
  close(ends[1]);
  typed.on_readable(now_ms, log);
  KIV_FUZZ_CHECK(typed.fd() == -1);
  close(ends[0]);
  kivsim::Command cmd;
  while (typed.queue().take_due(1e18, cmd)) {
  }
  KIV_FUZZ_CHECK(typed.queue().empty());
  stream.close();
  return 0;
}
