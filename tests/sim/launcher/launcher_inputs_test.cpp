// SPDX-License-Identifier: MIT
// Paths to things that are no ordinary file, handed to the launcher where it
// reads (a scenario, a script, an INI file, the program's ELF file) or writes
// (the trace): each is refused at once, naming the path and why, never read
// without end or waited on.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "run_launcher.h"

namespace kivtest {
namespace {

// Long enough for a launcher started on a loaded machine under a sanitizer;
// one that reads without end or waits on a FIFO runs into it.
constexpr double kPromptly = 20;

// A launcher reading /dev/zero to its end would take the machine's memory
// before the time bound stopped it; under this cap it fails at once instead.
// The sanitizers reserve terabytes of address space, so their builds (and an
// emulated launcher) go without.
void cap_address_space() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  rlimit limit;
  if (std::string(KIV_TEST_EMULATOR).empty() && getrlimit(RLIMIT_AS, &limit) == 0) {
    limit.rlim_cur = rlim_t{2} << 30;
    setrlimit(RLIMIT_AS, &limit);
  }
#endif
}

// A scratch folder with the odd things in it: a FIFO nothing writes to or
// reads from, a folder, and a regular file one byte over the launcher's 4 MiB.
class OddFiles {
 public:
  OddFiles() {
    char tmpl[] = "/tmp/kiv-launcher-inputs-XXXXXX";
    if (!mkdtemp(tmpl))
      return;
    dir_ = tmpl;
    mkfifo(path("fifo").c_str(), 0600);
    mkdir(path("folder").c_str(), 0700);
    if (FILE* f = std::fopen(path("big").c_str(), "w")) {
      std::string spaces((size_t{4} << 20) + 1, ' ');
      std::fwrite(spaces.data(), 1, spaces.size(), f);
      std::fclose(f);
    }
  }
  ~OddFiles() {
    unlink(path("fifo").c_str());
    rmdir(path("folder").c_str());
    unlink(path("big").c_str());
    rmdir(dir_.c_str());
  }
  OddFiles(const OddFiles&) = delete;
  OddFiles& operator=(const OddFiles&) = delete;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // `text` with each "{name}" replaced by the path of that scratch entry.
  std::string named(std::string text) const {
    for (const char* name : {"fifo", "folder", "big"}) {
      const std::string mark = std::string("{") + name + "}";
      for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
        text.replace(at, mark.size(), path(name));
    }
    return text;
  }

 private:
  std::string dir_;
};

struct OddInput {
  std::vector<std::string> words;  // the launcher's options and program, "{fifo}" and the like
  int status;                      // its exit status
  std::string message;             // what it says, on standard error or (program) output
};

// Runs each row and checks that it ended in time with its status and message.
// True when the board could not be built here (exit 77) for some row.
bool run_rows(const std::vector<OddInput>& rows) {
  cap_address_space();
  OddFiles odd;
  bool no_board = false;
  for (const OddInput& row : rows) {
    std::vector<std::string> words;
    for (const std::string& w : row.words)
      words.push_back(odd.named(w));
    const std::string message = odd.named(row.message);
    SCOPED_TRACE(message);
    LauncherRun run = run_launcher(words, "", kPromptly);
    if (run.status == 77) {
      no_board = true;
      continue;
    }
    EXPECT_EQ(run.status, row.status)
        << (run.seconds >= kPromptly ? "no end in time\n" : "") << run.err;
    EXPECT_NE((run.err + run.out).find(message), std::string::npos) << run.err << run.out;
  }
  return no_board;
}

std::vector<std::string> with_probe(std::vector<std::string> options) {
  for (const std::string& word : built_program(probe_path()))
    options.push_back(word);
  options.push_back("exit");
  options.push_back("0");
  return options;
}

TEST(LauncherInputs, FilesThatAreNoOrdinaryFileAreRefusedNamingWhy) {
  const std::vector<OddInput> rows = {
      {with_probe({"--scenario", "/dev/zero"}), 2,
       "kiv-sim-run: scenario /dev/zero: cannot be read: not a regular file\n"},
      {with_probe({"--scenario", "{fifo}"}), 2,
       "kiv-sim-run: scenario {fifo}: cannot be read: not a regular file\n"},
      {with_probe({"--scenario", "{big}"}), 2,
       "kiv-sim-run: scenario {big}: cannot be read: larger than 4 MiB\n"},
      {with_probe({"--script", "/dev/zero"}), 2, "kiv-sim-run: /dev/zero: not a regular file\n"},
      {with_probe({"--script", "{folder}"}), 2, "kiv-sim-run: {folder}: not a regular file\n"},
      {with_probe({"--script", "{big}"}), 2, "kiv-sim-run: {big}: larger than 4 MiB\n"},
      {with_probe({"--ini", "/dev/zero"}), 2,
       "kiv-sim-run: cannot read /dev/zero: not a regular file\n"},
      {with_probe({"--ini", "{fifo}"}), 2, "kiv-sim-run: cannot read {fifo}: not a regular file\n"},
      {with_probe({"--trace", "{fifo}"}), 2,
       "kiv-sim-run: cannot write the trace {fifo}: a FIFO that nothing has open for reading\n"},
      {with_probe({"--trace", "{folder}"}), 2,
       "kiv-sim-run: cannot write the trace {folder}: Is a directory\n"},
  };
  run_rows(rows);
}

// As a missing program: exit status 127 and "cannot run PATH: ..." in the log.
TEST(LauncherInputs, AProgramThatIsNoRegularFileIsOneThatCannotRun) {
  const std::vector<OddInput> rows = {
      {{"/dev/zero"}, 127, "error: cannot run /dev/zero: not a regular file\n"},
      {{"{fifo}", "arg"}, 127, "error: cannot run {fifo}: not a regular file\n"},
      {{"{folder}"}, 127, "error: cannot run {folder}: not a regular file\n"},
  };
  if (run_rows(rows))
    GTEST_SKIP() << "no simulated board here";
}

}  // namespace
}  // namespace kivtest
