// SPDX-License-Identifier: MIT
// kiv-sim-vcd: the waveform of a recorded run, from its trace (--trace):
//   kiv-sim-vcd [--wires-only] TRACE VCD
// writes what `kiv-sim-run --vcd VCD` would have written for that run.
// --wires-only leaves out the variables of more than one bit, for PulseView
// and sigrok-cli built on libsigrok 0.5, which stop reading at the first.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "trace_reader.h"
#include "vcd_writer.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool wires_only = !args.empty() && args[0] == "--wires-only";
  if (wires_only)
    args.erase(args.begin());
  if (args.size() != 2 || args[0].empty() || args[0][0] == '-') {
    std::fprintf(stderr, "usage: %s [--wires-only] TRACE VCD\n", argv[0]);
    return 2;
  }
  std::vector<kivsim::Event> events;
  std::string error;
  if (!kivsim::read_trace(args[0], events, error)) {
    std::fprintf(stderr, "kiv-sim-vcd: %s\n", error.c_str());
    return 1;
  }
  kivsim::VcdWriter vcd(wires_only);
  if (!vcd.open(args[1], error)) {
    std::fprintf(stderr, "kiv-sim-vcd: %s\n", error.c_str());
    return 1;
  }
  for (const kivsim::Event& e : events)
    vcd.see(e);
  if (!vcd.close(error)) {
    std::fprintf(stderr, "kiv-sim-vcd: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
