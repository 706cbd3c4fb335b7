// SPDX-License-Identifier: MIT
#include "kivctl_run.h"

#include "preload.h"

namespace kivtest {

bool emulated() {
  return !std::string(KIV_TEST_EMULATOR).empty();
}

std::string shell_preload() {
  // The launcher puts a sanitizer's runtime ahead of its preload for the
  // program it starts, the shell here, not for the tool the shell starts.
  std::string runtimes;
  for (const std::string& r : kivsim::sanitizer_runtimes(KIVCTL_PATH))
    runtimes += r + ":";
  return runtimes.empty() ? "" : "export LD_PRELOAD=" + runtimes + "$LD_PRELOAD; ";
}

std::string kivctl_path() {
  return KIVCTL_PATH;
}

LauncherRun run_kivctl(const std::vector<std::string>& launcher_args,
                       const std::vector<std::string>& args, double timeout_s) {
  std::vector<std::string> words = launcher_args;
  for (const std::string& w : built_program(KIVCTL_PATH))
    words.push_back(w);
  words.insert(words.end(), args.begin(), args.end());
  return run_traced(words, "", timeout_s);
}

LauncherRun run_kivctl_after(const std::vector<std::string>& launcher_args,
                             const std::string& before, const std::string& args, double timeout_s) {
  std::string command = shell_preload() + before + "; exec " KIVCTL_PATH " " + args;
  std::vector<std::string> words = launcher_args;
  words.insert(words.end(), {"/bin/sh", "-c", command});
  return run_traced(words, "", timeout_s);
}

std::vector<std::string> program_lines(const LauncherRun& run, bool errors) {
  std::vector<std::string> lines;
  for (const kivsim::Event& e : run.events)
    if (e.source == kivsim::EventSource::kProgram &&
        e.kind == (errors ? kivsim::EventKind::kErr : kivsim::EventKind::kOut))
      lines.push_back(e.text);
  return lines;
}

bool printed(const LauncherRun& run, const std::string& text, bool errors) {
  for (const std::string& line : program_lines(run, errors))
    if (line.find(text) != std::string::npos)
      return true;
  return false;
}

}  // namespace kivtest
