// SPDX-License-Identifier: MIT
// Runs of the example and of the sample application's scenario with their
// trace and their waveform (--vcd), for the tests that hold one to the other.
#pragma once

#include <string>
#include <vector>

#include "run_launcher.h"

namespace kivtest {

// The runs the waveform tests take: the example with its script, and the
// sample application with its passing scenario.
struct WaveformProgram {
  const char* name;
  std::vector<std::string> args;  // the launcher's arguments but --trace and --vcd
};
std::vector<WaveformProgram> waveform_programs();

struct WaveformRun {
  LauncherRun run;
  std::string vcd;  // the file --vcd wrote
};
WaveformRun run_with_waveform(const WaveformProgram& program);

// Runs a shell command; its standard output, or why it could not run.
std::string command_output(const std::string& command, int* status = nullptr);
// kiv-sim-vcd's output for the trace of `run`.
std::string converted(const LauncherRun& run, bool wires_only);

}  // namespace kivtest
