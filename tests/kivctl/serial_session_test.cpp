// SPDX-License-Identifier: MIT
// kivctl's serial exchanges on the simulated board: lines opened at the
// settings named, a request and its reply, and the interactive terminal
// driven through tmux as a person would type into it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "kivctl_run.h"
#include "trace_reader.h"

namespace kivtest {
namespace {

// The settings of the first com1 event of `kind` in the trace, or a baud of 0.
kivsim::SerialLine line_of(const LauncherRun& run, kivsim::EventKind kind) {
  for (const kivsim::Event& e : run.events)
    if (e.source == kivsim::EventSource::kCom1 && e.kind == kind)
      return e.line;
  return {};
}

const char kReplies[] =
    R"({"actions": [{"when": {"com1": "STATUS\r\n"}, "delay": 30, "do": "send com1 OK 1\\r\\n"},
                    {"when": {"com1": "SLOW\r\n"}, "delay": 30, "do": "send com1 PART"},
                    {"when": {"com1": "SLOW\r\n"}, "delay": 80, "do": "send com1  TWO\\r\\n"},
                    {"at": 1500, "do": "send com1 hi\\r\\n"}],
       "expect": [{"exit": 0}]})";

TEST(KivctlSerial, LinesAtTheirSettingsAndRequestsWithTheirReplies) {
  ScratchFile replies("replies.json", kReplies);
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> out;  // lines of standard output, in order
    const char* err;               // a line of standard error, or ""
    kivsim::EventKind kind;        // the com1 event that carries the line's settings
    int baud, stop_bits;           // a baud of 0: not looked at
  } cases[] = {
      // the board's side reads the settings as it reads the bytes, which may
      // be after the port closed: only the write's outcome counts
      {{"serial", "send", "com1", "hi", "--baud", "9600", "--stop-bits", "2"},
       0,
       {},
       "",
       kivsim::EventKind::kReceived,
       0,
       0},
      {{"serial", "ask", "com1", "STATUS\\r\\n", "--baud", "19200", "--stop-bits", "2"},
       0,
       {"OK 1"},
       "",
       kivsim::EventKind::kSent,
       19200,
       2},
      {{"serial", "listen", "com1", "--hex", "--count", "1", "--baud", "4800"},
       0,
       {"com1 68 69 0D 0A"},
       "",
       kivsim::EventKind::kSent,
       4800,
       1},
      {{"serial", "ask", "com1", "STATUS\\r\\n"},
       0,
       {"OK 1"},
       "",
       kivsim::EventKind::kReceived,
       115200,
       1},
      // the reply runs on while the line keeps talking
      {{"serial", "ask", "com1", "--hex", "53 4C 4F 57 0D 0A", "--hex-reply", "--baud", "57600"},
       0,
       {"50 41 52 54 54 57 4F 0D 0A"},
       "",
       kivsim::EventKind::kReceived,
       57600,
       1},
      {{"serial", "ask", "com1", "NOTHING\\r\\n", "--timeout", "0.3"},
       1,
       {},
       "kivctl: serial ask: no reply on /dev/com1 within 0.3 s",
       kivsim::EventKind::kReceived,
       115200,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[3]);
    LauncherRun run = run_kivctl({"--scenario", replies.path()}, c.args);
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_EQ(program_lines(run), c.out) << run.trace_text();
    if (c.err[0] != '\0') {
      EXPECT_TRUE(printed(run, c.err, true)) << run.trace_text();
    }
    if (c.baud == 0)
      continue;
    const kivsim::SerialLine line = line_of(run, c.kind);
    EXPECT_EQ(line.baud, c.baud) << run.trace_text();
    EXPECT_EQ(line.stop_bits, c.stop_bits) << run.trace_text();
  }
}

// A peer that never falls silent cannot hold `ask` past its --timeout.
TEST(KivctlSerial, AReplyThatNeverEndsIsCutAtTheTimeout) {
  std::string chatter;
  for (int i = 0; i < 100; ++i)
    chatter += "send com1 more\\r\\n\nwait 50\n";
  ScratchFile script("chatter.script", chatter);
  LauncherRun run =
      run_kivctl({"--script", script.path()}, {"serial", "ask", "com1", "hi", "--timeout", "0.5"});
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_FALSE(program_lines(run).empty()) << run.trace_text();
  EXPECT_EQ(program_lines(run).front(), "more") << run.trace_text();
  EXPECT_LT(run.seconds, 3.0) << "the peer talks for 5 s\n" << run.trace_text();
}

// Settings named for a port a shell holds are for that command: the next
// command, and the library's light calls, find the line as it was.
TEST(KivctlSerial, SettingsOfAHeldPortAreForOneCommand) {
  if (emulated())
    GTEST_SKIP() << "the shell's input is a file, which the emulator would not preload";
  ScratchFile input("input.txt",
                    "serial send com1 --baud 9600 AAA\nserial send com1 BBB\n"
                    "serial send com2 --baud 4800 --hex '35 2D 05 0D 0A'\nlight section 2 on\n");
  LauncherRun run = run_kivctl_after({}, "true", "shell --setup < " + input.path());
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.err;
  // (The board's side may read AAA and BBB at once, after the restore.)
  const kivsim::Event* after = nullptr;
  for (const kivsim::Event& e : run.events)
    if (e.source == kivsim::EventSource::kCom1 && e.kind == kivsim::EventKind::kReceived &&
        e.bytes.find("BBB") != std::string::npos)
      after = &e;
  ASSERT_NE(after, nullptr) << run.trace_text();
  EXPECT_EQ(after->line.baud, 115200) << run.trace_text();
  const kivsim::Event* frame = nullptr;
  for (const kivsim::Event& e : run.events)
    if (e.source == kivsim::EventSource::kCom2 && e.kind == kivsim::EventKind::kFrame)
      frame = &e;  // the last: the light call's
  ASSERT_NE(frame, nullptr) << run.trace_text();
  EXPECT_EQ(frame->line.baud, 115200) << run.trace_text();
}

// tmux with its own server, ended with the test.
class Tmux {
 public:
  // A server of its own each time: one just killed may still hold its name.
  explicit Tmux(int n)
      : socket_("kivctl-term-" + std::to_string(getpid()) + "-" + std::to_string(n)) {}
  ~Tmux() { run("kill-server"); }
  bool run(const std::string& words) {
    return std::system(("tmux -L " + socket_ + " " + words + " >/dev/null 2>&1").c_str()) == 0;
  }
  std::string screen() {
    std::string text;
    FILE* p = popen(("tmux -L " + socket_ + " capture-pane -p -t t 2>/dev/null").c_str(), "r");
    if (!p)
      return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
      text.append(buf, n);
    pclose(p);
    return text;
  }
  // Waits up to 15 s for `text` on the screen.
  bool shows(const std::string& text) {
    for (int i = 0; i < 150; ++i) {
      if (screen().find(text) != std::string::npos)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  std::string socket_;
};

std::string file_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Typed keys reach the port raw (Ctrl-C as its byte), what the port receives
// is shown as it comes, Ctrl-] leaves with exit 0, and the terminal has its
// settings back.
TEST(KivctlSerial, TheTerminalAsAPersonTypesIntoIt) {
  if (emulated())
    GTEST_SKIP() << "a terminal session under the emulator tells nothing more";
  if (std::system("command -v tmux >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "tmux is not installed";
  ScratchFile peer("peer.json",
                   R"({"actions": [{"at": 300, "do": "send com1 HELLO\\r\\n"},
                                   {"when": {"com1": "abc"}, "delay": 50,
                                    "do": "send com1 GOT abc\\r\\n"}],
                       "expect": [{"exit": 0}]})");
  ScratchFile trace("term.jsonl", "");
  const std::string folder = trace.path().substr(0, trace.path().rfind('/'));
  for (const bool hex : {false, true}) {
    SCOPED_TRACE(hex ? "--hex" : "text");
    Tmux tmux(hex ? 1 : 0);
    // The terminal's settings are taken after the tool has ended, before the
    // line that the test waits for.
    const std::string command = "stty -g > " + folder + "/before; " + launcher_path() +
                                " --trace " + trace.path() + " --scenario " + peer.path() +
                                " --pass-through " + kivctl_path() + " serial term com1" +
                                (hex ? " --hex" : "") + " 2>/dev/null; s=$?; stty -g > " + folder +
                                "/after; echo EXIT=$s; sleep 60";
    ASSERT_TRUE(tmux.run("new-session -d -s t -x 100 -y 20 '" + command + "'"));
    ASSERT_TRUE(tmux.shows(hex ? "48 45 4C 4C 4F 0D 0A" : "HELLO")) << tmux.screen();
    tmux.run("send-keys -t t abc");
    EXPECT_TRUE(tmux.shows(hex ? "47 4F 54 20 61 62 63 0D 0A" : "GOT abc")) << tmux.screen();
    tmux.run("send-keys -t t C-c");
    tmux.run("send-keys -t t C-]");
    EXPECT_TRUE(tmux.shows("EXIT=0")) << tmux.screen();
    std::vector<kivsim::Event> events;
    std::string error;
    kivsim::read_trace(trace.path(), events, error);
    std::string received;
    for (const kivsim::Event& e : events)
      if (e.source == kivsim::EventSource::kCom1 && e.kind == kivsim::EventKind::kReceived)
        received += e.bytes;
    EXPECT_EQ(received, "abc\x03") << "Ctrl-] itself never leaves";
    EXPECT_EQ(file_text(folder + "/before"), file_text(folder + "/after"));
  }
}

}  // namespace
}  // namespace kivtest
