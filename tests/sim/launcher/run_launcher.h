// SPDX-License-Identifier: MIT
// Runs the launcher as a person would and collects what it shows and the
// trace of its run.
#pragma once

#include <string>
#include <vector>

#include "device_state.h"
#include "event.h"

namespace kivtest {

struct LauncherRun {
  int status = -1;     // the launcher's exit status (-1: it did not end in time)
  std::string out;     // standard output
  std::string err;     // standard error
  double seconds = 0;  // how long it ran
  // The run's events, read back from its trace (run_traced), and why they
  // could not be when they could not.
  std::vector<kivsim::Event> events;
  std::string trace_error;

  bool has(const std::string& text) const { return out.find(text) != std::string::npos; }
  // The first event of `source` and `kind` whose text is `text`, or null.
  const kivsim::Event* event(kivsim::EventSource source, kivsim::EventKind kind,
                             const std::string& text) const;
  bool saw(kivsim::EventSource source, kivsim::EventKind kind, const std::string& text) const {
    return event(source, kind, text) != nullptr;
  }
  // The first event whose text holds `text`, its place in the trace and its
  // time in seconds (-1 when there is none).
  const kivsim::Event* event_with(const std::string& text) const;
  size_t index_of(const std::string& text) const;
  double time_of(const std::string& text) const;
  // The device's state the trace's changes add up to.
  kivsim::DeviceState end_state() const;
  // The events of the trace as lines "source kind text", for failure messages.
  std::string trace_text() const;
};

// Runs the launcher with `args`, feeding `input` to its standard input (which
// is then closed). `closed_fd` (0, 1 or 2) starts it with that standard
// descriptor closed. Gives up after `timeout_s`, killing it.
LauncherRun run_launcher(const std::vector<std::string>& args, const std::string& input = "",
                         double timeout_s = 30, int closed_fd = -1);
// The same, with --trace to a scratch file whose events land in `events`.
LauncherRun run_traced(const std::vector<std::string>& args, const std::string& input = "",
                       double timeout_s = 30);

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
