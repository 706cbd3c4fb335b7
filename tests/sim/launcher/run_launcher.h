// SPDX-License-Identifier: MIT
// Runs the launcher as a person would and collects what it shows.
#pragma once

#include <string>
#include <vector>

namespace kivtest {

struct LauncherRun {
  int status = -1;     // the launcher's exit status (-1: it did not end in time)
  std::string out;     // standard output
  std::string err;     // standard error
  double seconds = 0;  // how long it ran
  bool has(const std::string& text) const { return out.find(text) != std::string::npos; }
  // The time stamp of the first line holding `text`, or -1.
  double time_of(const std::string& text) const;
  // Position of the first line holding `text` (npos when absent), for order checks.
  size_t pos(const std::string& text) const { return out.find(text); }
};

// Runs the launcher with `args`, feeding `input` to its standard input (which
// is then closed). `closed_fd` (0, 1 or 2) starts it with that standard
// descriptor closed. Gives up after `timeout_s`, killing it.
LauncherRun run_launcher(const std::vector<std::string>& args, const std::string& input = "",
                         double timeout_s = 30, int closed_fd = -1);

// The built launcher and the test program that it runs.
std::string launcher_path();
std::string probe_path();
// The words that run a built program `path`: in a cross build, the emulator
// comes first, since the launcher starts programs with a plain exec.
std::vector<std::string> built_program(const std::string& path);

// A file with `content` in a scratch folder of its own, removed with it.
class ScratchFile {
 public:
  ScratchFile(const std::string& name, const std::string& content);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string dir_, path_;
};

}  // namespace kivtest

// Skips the test when the launcher reports that it cannot build the board here.
#define KIV_SKIP_WITHOUT_BOARD(run)                             \
  do {                                                          \
    if ((run).status == 77)                                     \
      GTEST_SKIP() << "no simulated board here: " << (run).err; \
  } while (0)
