// SPDX-License-Identifier: MIT
// Every command under every fault that can touch it, on the simulated board:
// the exit status, the one line that says what failed, and that nothing but
// what the command names moved. A fault that cannot touch a command (the lens
// for `out`, say) has no cell.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <set>
#include <thread>

#include "kivctl_run.h"

namespace kivtest {
namespace {

using kivsim::Event;
using kivsim::EventKind;
using kivsim::EventSource;

// What a command may touch.
struct Reach {
  std::set<int> pins;  // written or switched in mode
  bool com1 = false, com2 = false, strip = false, lens = false;
};

enum FaultId { kHungUp, kMissing, kHeld, kStripFails, kLensSilent, kBusGone, kNoBoard, kBadArgs };

struct Fault {
  const char* name;
  const char* script;  // the launcher's commands from the start, or ""
  const char* before;  // the shell's preparation; "true" for none
};

const Fault kFaults[] = {
    {"hung-up line", "hangup com1\nhangup com2\n", "sleep 0.3"},
    {"missing port", "", "rm /dev/com1 /dev/com2"},
    {"port held", "",
     "sleep 4 </dev/com1 >/dev/null 2>&1 & sleep 4 </dev/com2 >/dev/null 2>&1 & sleep 0.3"},
    {"strip failing", "", "export KIV_SIM_STRIP_INIT_RESULT=-3"},
    {"lens absent", "lens nack\n", "sleep 0.3"},
    {"bus absent", "lens remove\n", "sleep 0.3"},
    {"unknown board", "", "mount --bind /dev/null /proc/cpuinfo"},
    {"bad argument", "", "true"},
};

// A cell: the status and a text of the one line on standard error.
struct Cell {
  int status = -1;  // -1: the fault cannot touch the command
  const char* says = nullptr;
};
using Row = std::array<Cell, std::size(kFaults)>;

// The rows' shapes, by what the command touches.
Row lines_row(const char* bad) {
  Row row;
  row[kNoBoard] = {1, "the GPIO library cannot identify the board"};
  row[kBadArgs] = {2, bad};
  return row;
}
Row port_row(const char* unopened, const char* bad) {
  Row row;
  row[kHungUp] = row[kMissing] = {1, unopened};
  row[kHeld] = {1, "is held by process"};
  row[kBadArgs] = {2, bad};
  return row;
}
Row lens_row(const char* silent, const char* bad) {
  Row row;
  row[kLensSilent] = {1, silent};
  row[kBusGone] = {1, "/dev/i2c-5 is missing"};
  row[kBadArgs] = {2, bad};
  return row;
}
Row strip_row(const char* stopped, const char* bad) {
  Row row;
  row[kStripFails] = {1, stopped};
  row[kBadArgs] = {2, bad};
  return row;
}

struct Command {
  const char* name;
  std::string args;
  std::string bad_args;  // the same command with a wrong argument
  Reach reach;
  Row cells;
};

const char kOpenCom2[] = "/dev/com2, the light controller's port, could not be opened";
const Reach kLight{{}, false, true, false, false};
const Reach kLens{{}, false, false, false, true};
const Reach kStrip{{}, false, false, true, false};
const Reach kCom1{{}, true, false, false, false};

const Command kCommands[] = {
    {"out", "out laser 1", "out laser 2", {{13}}, lines_row("laser takes 1 or 0")},
    {"get", "get laser trigger", "get beam", {}, lines_row("'beam' is no line")},
    {"light section", "light section 1 on", "light section 5 on", kLight,
     port_row(kOpenCom2, "not in range 1 to 4")},
    {"light on", "light on", "light on --bogus", kLight, port_row(kOpenCom2, "--bogus")},
    {"light flash", "light flash 3 20", "light flash 3", kLight,
     port_row(kOpenCom2, "light flash: TIME is missing")},
    {"lens set", "lens set 1200", "lens set 46001", kLens,
     lens_row("lens set 1200: refused, or the lens controller did not answer",
              "not in range 0 to 46000")},
    {"lens get", "lens get", "lens get 5", kLens,
     lens_row("lens get: the lens controller did not answer", "5")},
    {"lens vtemp", "lens vtemp off", "lens vtemp 1", kLens,
     lens_row("lens vtemp off: the lens controller did not answer", "'1' is not one of on, off")},
    {"lens read", "lens read", "lens read 1", kLens,
     lens_row("lens read: the lens controller did not answer", "'1' is not taken here")},
    {"lens raw get", "lens raw get 0x28 4", "lens raw get 0x28 0", kLens,
     lens_row("lens raw get 0x28: the lens controller did not answer",
              "LEN 0 is not in range 1 to 256")},
    {"lens raw set", "lens raw set 40 1 0 0 0", "lens raw set 40 0x100", kLens,
     lens_row("lens raw set 40: the lens controller did not answer", "'0x100' is not a byte")},
    {"strip status", "strip status 2", "strip status 4", kStrip,
     strip_row("strip status 2: the LED strip is not running", "not in range 0 to 3")},
    {"strip rgb", "strip rgb 1 2 3", "strip rgb 1 2 256", kStrip,
     strip_row("strip rgb: the LED strip is not running", "not in range 0 to 255")},
    {"serial send", "serial send com1 hi", "serial send com3 hi", kCom1,
     port_row("serial send: /dev/com1 could not be opened", "'com3' is not one of com1, com2")},
    {"serial listen", "serial listen com1 --timeout 0.5", "serial listen com1 --count 0", kCom1,
     port_row("cannot open /dev/com1", "--count 0 is not a count (1 or more)")},
    {"serial ask", "serial ask com1 hi --timeout 0.3", "serial ask com1 hi --timeout 0", kCom1,
     port_row("serial ask: cannot open /dev/com1", "--timeout 0 s is no time to wait")},
    {"serial term", "serial term com1 --baud 9600", "serial term com1 --baud 1200", kCom1,
     port_row("serial term: cannot open /dev/com1", "--baud '1200' is not one of 4800")},
    {"watch input",
     "watch trigger --timeout 0.5",
     "watch laser",
     {},
     lines_row("nothing to watch")},
    {"watch light", "watch light --timeout 0.5", "watch light --time never", kLight,
     port_row(kOpenCom2, "'never' is not one of monotonic, realtime")},
};

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos)
      end = text.size();
    words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// What the trace shows touched outside `reach`, or "".
std::string moved_outside(const LauncherRun& run, const Reach& reach) {
  for (const Event& e : run.events) {
    const bool line = e.source == EventSource::kGpio &&
                      (e.kind == EventKind::kWrite || e.kind == EventKind::kMode);
    if ((line && reach.pins.count(e.pin) == 0) ||
        (e.source == EventSource::kCom1 && e.kind == EventKind::kReceived && !reach.com1) ||
        (e.source == EventSource::kCom2 && e.kind == EventKind::kFrame && !reach.com2) ||
        (e.source == EventSource::kStrip &&
         (e.kind == EventKind::kInit || e.kind == EventKind::kRender) && !reach.strip) ||
        (e.source == EventSource::kI2c && e.kind == EventKind::kTransfer && !reach.lens))
      return e.text;
  }
  return "";
}

// The program's lines on standard error that kivctl wrote (not the library's).
std::vector<std::string> complaints(const LauncherRun& run) {
  std::vector<std::string> lines;
  for (const std::string& line : program_lines(run, true))
    if (line.rfind("kivctl: ", 0) == 0)
      lines.push_back(line);
  return lines;
}

void check_cell(const Command& command, const Fault& fault, const Cell& cell, bool bad) {
  SCOPED_TRACE(std::string(command.name) + " under " + fault.name);
  const std::string args = bad ? command.bad_args : command.args;
  ScratchFile script("fault.script", fault.script);
  std::vector<std::string> launcher;
  if (fault.script[0] != '\0')
    launcher = {"--script", script.path()};
  LauncherRun run = emulated() ? run_kivctl(launcher, split(args))
                               : run_kivctl_after(launcher, fault.before, args);
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, cell.status) << run.out << run.err;
  std::vector<std::string> said = complaints(run);
  // The launcher's own log beside the trace: a line missing from one shows
  // whether the launcher never read it or lost it on the way.
  ASSERT_FALSE(said.empty()) << run.trace_text() << "\nlauncher:\n" << run.err << run.trace_error;
  EXPECT_NE(said.front().find(cell.says), std::string::npos) << "wanted: " << cell.says << "\n"
                                                             << run.trace_text();
  EXPECT_EQ(said.size(), 1u) << run.trace_text();
  const std::string moved = moved_outside(run, bad ? Reach{} : command.reach);
  EXPECT_EQ(moved, "") << run.trace_text();
}

// Cells run a few at a time: each waits mostly on the launcher.
void run_table(bool only_without_shell) {
  struct Job {
    size_t row, column;
  };
  std::vector<Job> jobs;
  for (size_t row = 0; row < std::size(kCommands); ++row)
    for (size_t column = 0; column < std::size(kFaults); ++column)
      if (kCommands[row].cells[column].status >= 0 &&
          (!only_without_shell || std::string(kFaults[column].before) == "true" ||
           column == kLensSilent || column == kBusGone))
        jobs.push_back({row, column});
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < 3; ++i)
    workers.emplace_back([&] {
      for (size_t j; (j = next++) < jobs.size();) {
        const Job& job = jobs[j];
        check_cell(kCommands[job.row], kFaults[job.column], kCommands[job.row].cells[job.column],
                   job.column == kBadArgs);
      }
    });
  for (std::thread& w : workers)
    w.join();
}

TEST(KivctlFaultTable, EveryCommandUnderEveryFaultThatCanTouchIt) {
  run_table(emulated());
}

}  // namespace
}  // namespace kivtest
