// SPDX-License-Identifier: MIT
// kivctl run on the simulated board through the launcher.
#pragma once

#include <string>
#include <vector>

#include "run_launcher.h"

namespace kivtest {

// Runs `kivctl ARGS...` under the launcher with `launcher_args` before it,
// traced.
LauncherRun run_kivctl(const std::vector<std::string>& launcher_args,
                       const std::vector<std::string>& args, double timeout_s = 60);
// Runs `sh -c "BEFORE; exec kivctl ARGS"`: a shell prepares the board first.
// Only in a native build (the emulator would lose the launcher's preload).
LauncherRun run_kivctl_after(const std::vector<std::string>& launcher_args,
                             const std::string& before, const std::string& args,
                             double timeout_s = 60);
bool emulated();
// The built kivctl, and the words that let a shell run it under the
// launcher's preload.
std::string kivctl_path();
std::string shell_preload();

// The program's lines on standard output, or on standard error, in order.
std::vector<std::string> program_lines(const LauncherRun& run, bool errors = false);
// Whether a line of the program's standard output (or error) holds `text`.
bool printed(const LauncherRun& run, const std::string& text, bool errors = false);

}  // namespace kivtest
