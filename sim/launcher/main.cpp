// SPDX-License-Identifier: MIT
// kiv-sim-run: runs a program, unmodified, on the simulated board.
//
// Every event goes into one ordered stream; its readers are the terminal log,
// the trace (--trace), the waveform (--vcd) and the scenario checker
// (--scenario).
//
// Exit status: the program's (128 + signal when a signal ended it); with a
// scenario, 0 when every expectation held and 1 when one did not; 127 when
// the program could not be started; 2 for a fault in the options, the script
// or the scenario; 77 when the simulated board cannot be built here (no
// namespaces); 1 otherwise.
#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "board_run.h"
#include "bounded_file.h"
#include "commands.h"
#include "event_stream.h"
#include "i2c_bus.h"
#include "i2c_wire.h"
#include "junit_report.h"
#include "lens_link.h"
#include "link_server.h"
#include "options.h"
#include "preload.h"
#include "sandbox.h"
#include "scenario.h"
#include "scenario_check.h"
#include "scenario_report.h"
#include "scenario_results.h"
#include "strip_wire.h"
#include "terminal_line.h"
#ifdef KIV_SIM_HAVE_VIEW
#include "page_commands.h"
#include "view_server.h"
#endif
#include "terminal_log.h"
#include "trace_writer.h"
#include "vcd_writer.h"

#ifndef KIV_SIM_DEFAULT_LIB_PATH
#define KIV_SIM_DEFAULT_LIB_PATH ""
#endif
#ifndef KIV_SIM_I2C_LAYER_PATH
#define KIV_SIM_I2C_LAYER_PATH ""
#endif

namespace {

constexpr int kUsageError = 2;
constexpr int kNoSandbox = 77;

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "kiv-sim-run: %s\n", message.c_str());
  return code;
}

// An installed launcher names its defaults from its own folder: "$ORIGIN"
// stands for it, as in a run path.
std::string from_own_folder(const std::string& text) {
  const std::string origin = "$ORIGIN";
  std::string::size_type at = text.find(origin);
  if (at == std::string::npos)
    return text;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0)
    return text;
  std::string folder(self, static_cast<size_t>(n));
  folder.erase(folder.rfind('/'));
  std::string result = text;
  for (; at != std::string::npos; at = result.find(origin, at + folder.size()))
    result.replace(at, origin.size(), folder);
  return result;
}

std::string library_path(const kivsim::LaunchOptions& opts) {
  std::string dirs = opts.lib_path_set ? opts.lib_path : from_own_folder(KIV_SIM_DEFAULT_LIB_PATH);
  const char* current = std::getenv("LD_LIBRARY_PATH");
  if (current && *current)
    dirs += (dirs.empty() ? "" : ":") + std::string(current);
  return dirs;
}

// Started with standard input, output or error closed, the launcher would hand
// those numbers to its own descriptors; /dev/null holds them instead.
void hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1)
      continue;
    int null_fd = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null_fd >= 0 && null_fd != fd) {
      dup2(null_fd, fd);
      close(null_fd);
    }
  }
}

// What a transfer put on the bus: every message up to the one not
// acknowledged; nothing for one the kernel refused or a bus that timed out.
std::vector<kivsim::BusMessage> bus_messages(const kivsim::i2c::Transfer& t) {
  std::vector<kivsim::BusMessage> out;
  if (t.result < 0 && t.refused_message < 0)
    return out;
  for (size_t i = 0; i < t.messages.size(); ++i) {
    const kivsim::i2c::Message& m = t.messages[i];
    kivsim::BusMessage msg;
    msg.addr = m.addr;
    msg.read = m.is_read();
    const bool refused = static_cast<int>(i) == t.refused_message;
    const size_t sent = refused ? static_cast<size_t>(t.refused_byte + 1) : m.data.size();
    msg.bytes.assign(m.data.begin(),
                     m.data.begin() + static_cast<long>(std::min(sent, m.data.size())));
    msg.nack = refused;
    out.push_back(std::move(msg));
    if (refused)
      break;
  }
  return out;
}

// Adds to the events what the launcher holds when they are posted: the line
// settings of the port whose bytes were read, and the messages of a transfer.
void annotate_events(kivsim::EventStream& stream, int com1_fd, int com2_fd,
                     const kivsim::LensLink& lens) {
  stream.annotate([com1_fd, com2_fd, &lens](kivsim::Event& e) {
    if (!e.bytes.empty() && e.source == kivsim::EventSource::kCom1)
      e.line = kivsim::terminal_line(com1_fd);
    else if (!e.bytes.empty() && e.source == kivsim::EventSource::kCom2)
      e.line = kivsim::terminal_line(com2_fd);
    else if (e.kind == kivsim::EventKind::kTransfer && !lens.bus().transfers().empty())
      e.messages = bus_messages(lens.bus().transfers().back());
  });
}

// One run of the program on the simulated board, from opening the trace to
// the program's end: its exit status, or the launcher's own when it could not
// run it (`ran` false). With a scenario, `results` gets how each expectation
// came out.
int run_program(kivsim::LaunchOptions& opts, kivsim::RunSetup& setup,
                const kivsim::Scenario& scenario, std::vector<kivsim::ExpectationResult>& results,
                bool& ran) {
  std::string error;
  kivsim::TraceWriter trace;
  if (!opts.trace.empty() && !trace.open(opts.trace, error))
    return fail(kUsageError, error);
  kivsim::VcdWriter vcd;
  if (!opts.vcd.empty() && !vcd.open(opts.vcd, error))
    return fail(kUsageError, error);
  std::string ini;
  if (!opts.ini_file.empty()) {
    std::string why = kivsim::read_bounded_file(opts.ini_file, kivsim::kInputFileLimit, ini);
    if (!why.empty())
      return fail(kUsageError, "cannot read " + opts.ini_file + ": " + why);
  }

  // The sandbox needs a single-threaded process: the view starts its threads later.
  std::string reason = kivsim::Sandbox::enter();
  if (!reason.empty())
    return fail(kNoSandbox, "the simulated board needs namespaces: " + reason);
  setup.com1_fd = kivsim::Sandbox::add_port("/dev/com1");
  setup.com2_fd = kivsim::Sandbox::add_port("/dev/com2");
  if (setup.com1_fd < 0 || setup.com2_fd < 0)
    return fail(1, "cannot make /dev/com1 and /dev/com2");
  setup.new_line = [](int port) {
    return kivsim::Sandbox::add_port(port == 1 ? "/dev/com1" : "/dev/com2");
  };
  if (!opts.ini_file.empty() && !kivsim::Sandbox::write_etc_file("ul-opx3000.ini", ini))
    return fail(1, "cannot place /etc/ul-opx3000.ini");
  if (!opts.cpu_serial.empty() &&
      !kivsim::Sandbox::set_cpuinfo(kivsim::fake_cpuinfo(opts.cpu_serial)))
    return fail(1, "cannot place /proc/cpuinfo");
  if (opts.kernel_cmdline_set && !kivsim::Sandbox::set_kernel_cmdline(opts.kernel_cmdline + "\n"))
    return fail(1, "cannot place /proc/cmdline");
  if (opts.kernel_modules_set && !kivsim::Sandbox::set_kernel_modules(opts.kernel_modules))
    return fail(1, "cannot place /sys/module");

  // A stand-in a process: a few may run, in the program and its children.
  kivsim::LinkServer gpio(8, 4096);
  if (!gpio.listen(kivsim::Sandbox::scratch_dir() + "/gpio.sock", error))
    return fail(1, error);
  setup.gpio = &gpio;
  setup.env.push_back(std::string(kivsim::kGpioSocketVariable) + "=" + gpio.path());
  kivsim::LinkServer strip(8, kivsim::link::kStripMaxLine);
  if (!strip.listen(kivsim::Sandbox::scratch_dir() + "/strip.sock", error))
    return fail(1, error);
  setup.strip = &strip;
  setup.env.push_back(std::string(kivsim::kStripSocketVariable) + "=" + strip.path());

  // The I2C layer puts the launcher's lens controller behind "/dev/i2c-5".
  kivsim::LensLink lens;
  if (!lens.listen(kivsim::Sandbox::scratch_dir() + "/i2c.sock", error))
    return fail(1, error);
  setup.lens = &lens;
  setup.env.push_back(std::string(kivsim::i2c::kSocketVariable) + "=" + lens.path());
  const char* preloaded = std::getenv("LD_PRELOAD");
  kivsim::preload_library(setup.program, setup.env, from_own_folder(KIV_SIM_I2C_LAYER_PATH),
                          preloaded ? preloaded : "");
  std::string libs = library_path(opts);
  if (!libs.empty())
    setup.env.push_back("LD_LIBRARY_PATH=" + libs);

  // Signals arrive as readable data in the poll loop; the program gets them unblocked.
  sigset_t signals;
  sigemptyset(&signals);
  for (int sig : {SIGCHLD, SIGINT, SIGTERM, SIGHUP})
    sigaddset(&signals, sig);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  setup.signal_fd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (setup.signal_fd < 0)
    return fail(1, "signalfd failed");
  // Passed through, standard input and output are the program's: the log goes
  // to standard error and no commands are typed.
  setup.pass_through = opts.pass_through;
  setup.input_fd = opts.pass_through ? -1 : 0;
  FILE* const log_to = opts.pass_through ? stderr : stdout;

  // The readers of the run's one ordered stream of events.
  kivsim::EventStream stream;
  kivsim::TerminalLog terminal(log_to, isatty(fileno(log_to)) && !std::getenv("NO_COLOR"));
  stream.subscribe([&terminal](const kivsim::Event& e) { terminal.show(e); });
  if (!opts.trace.empty())
    stream.subscribe([&trace](const kivsim::Event& e) { trace.write(e); });
  if (!opts.vcd.empty())
    stream.subscribe([&vcd](const kivsim::Event& e) { vcd.see(e); });
  annotate_events(stream, setup.com1_fd, setup.com2_fd, lens);
  kivsim::ScenarioCheck check(scenario.expectations);
  if (!opts.scenario.empty())
    stream.subscribe([&check](const kivsim::Event& e) { check.see(e); });
  setup.stream = &stream;

#ifdef KIV_SIM_HAVE_VIEW
  // The server's threads start here, after the sandbox: entering it needs a
  // single-threaded process. They read the stream from their side.
  kivsim::PageCommands page_commands;
  kivsim::ViewServer view(stream, page_commands);
  if (opts.view) {
    if (!page_commands.ready())
      return fail(1, "cannot make the view's command descriptor");
    if (!view.start(opts.view_port, error))
      return fail(1, "the view: " + error);
    std::printf("kiv-sim-run: the view is at %s\n", view.address().c_str());
    std::fflush(stdout);
    setup.commands = &page_commands;
  }
#endif

  ran = true;
  int status = kivsim::run_on_board(setup);
#ifdef KIV_SIM_HAVE_VIEW
  view.stop();
#endif
  close(setup.signal_fd);
  close(setup.com1_fd);
  close(setup.com2_fd);
  if (!trace.close(error))
    std::fprintf(stderr, "kiv-sim-run: %s\n", error.c_str());
  if (!vcd.close(error))
    std::fprintf(stderr, "kiv-sim-run: %s\n", error.c_str());
  if (!opts.scenario.empty())
    results = check.results();
  return status;
}

double seconds_now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void write_junit(std::FILE* file, const kivsim::LaunchOptions& opts,
                 const std::vector<std::vector<kivsim::ExpectationResult>>& runs, double seconds) {
  if (!file)
    return;
  const std::string xml = kivsim::junit_xml(opts.scenario, kivsim::tally_results(runs), seconds);
  if (std::fwrite(xml.data(), 1, xml.size(), file) != xml.size() || std::fflush(file) != 0)
    std::fprintf(stderr, "kiv-sim-run: cannot write %s: %s\n", opts.junit.c_str(),
                 std::strerror(errno));
}

// Reads what a run's process sends until it closes its end.
std::string read_to_end(int fd) {
  std::string text;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return text;
    text.append(buf, static_cast<size_t>(n));
  }
}

// Runs the scenario opts.repeat times, each in a process of its own (a fresh
// sandbox and board each time), and reports each expectation's passes and the
// spread of its delays. A stop signal ends the runs after the one under way,
// which the program's launcher stops as it always does.
int repeat_runs(kivsim::LaunchOptions& opts, kivsim::RunSetup& setup,
                const kivsim::Scenario& scenario, std::FILE* junit) {
  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    sigaddset(&stops, sig);
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  std::vector<std::vector<kivsim::ExpectationResult>> runs;
  const double started = seconds_now();
  for (int run = 1; run <= opts.repeat; ++run) {
    std::printf("kiv-sim-run: scenario %s: run %d of %d\n", opts.scenario.c_str(), run,
                opts.repeat);
    std::fflush(stdout);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
      return fail(1, std::string("cannot make a pipe: ") + std::strerror(errno));
    const pid_t pid = fork();
    if (pid < 0) {
      close(fds[0]);
      close(fds[1]);
      return fail(1, std::string("cannot start a run: ") + std::strerror(errno));
    }
    if (pid == 0) {
      close(fds[0]);
      std::vector<kivsim::ExpectationResult> results;
      bool ran = false;
      int status = run_program(opts, setup, scenario, results, ran);
      if (ran) {
        status = kivsim::report_run(stdout, stderr, opts.scenario, results) ? 0 : 1;
        const std::string text = kivsim::results_to_json(results);
        if (write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
          status = 1;
      }
      close(fds[1]);
      std::fflush(nullptr);
      _exit(status);
    }
    close(fds[1]);
    const std::string text = read_to_end(fds[0]);
    close(fds[0]);
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
    }
    const int status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 1;
    std::vector<kivsim::ExpectationResult> results;
    if (!kivsim::results_from_json(text, results))
      return status != 0 ? status : 1;
    runs.push_back(std::move(results));
    sigset_t pending;
    if (sigpending(&pending) == 0 && run < opts.repeat &&
        (sigismember(&pending, SIGINT) || sigismember(&pending, SIGTERM) ||
         sigismember(&pending, SIGHUP))) {
      std::printf("kiv-sim-run: scenario %s: stopped after run %d\n", opts.scenario.c_str(), run);
      break;
    }
  }
  write_junit(junit, opts, runs, seconds_now() - started);
  return kivsim::report_runs(stdout, stderr, opts.scenario, runs) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_descriptors();
  kivsim::LaunchOptions opts;
  std::string error;
  if (!kivsim::parse_options(argc, argv, opts, error))
    return fail(kUsageError, error + " (see --help)");
  if (opts.help) {
    std::printf("%s", kivsim::usage_text(argv[0]).c_str());
    return 0;
  }
#ifndef KIV_SIM_HAVE_VIEW
  if (opts.view)
    return fail(kUsageError, "this kiv-sim-run was built without the view (KIV_SIM_VIEW=OFF)");
#endif
  kivsim::RunSetup setup;
  setup.program = opts.program;
  setup.grace_ms = opts.grace_ms;
  if (!opts.script.empty() && !kivsim::load_script(opts.script, setup.script, error))
    return fail(kUsageError, error);
  // A scenario is read and checked before anything starts.
  kivsim::Scenario scenario;
  if (!opts.scenario.empty()) {
    if (!kivsim::load_scenario(opts.scenario, scenario, error))
      return fail(kUsageError, error);
    if (!opts.script.empty())
      return fail(kUsageError,
                  "--script and --scenario do not go together: the scenario holds the actions");
    if (!scenario.ini_file.empty() && !opts.ini_file.empty())
      return fail(kUsageError, "--ini and the scenario's ini setting do not go together");
    if (!scenario.cpu_serial.empty() && !opts.cpu_serial.empty())
      return fail(kUsageError, "--cpu-serial and the scenario's cpu_serial do not go together");
    setup.script = scenario.script;
    setup.waiting = scenario.waiting;
    if (!scenario.ini_file.empty())
      opts.ini_file = scenario.ini_file;
    if (!scenario.cpu_serial.empty())
      opts.cpu_serial = scenario.cpu_serial;
    if (scenario.strip_init_set)
      setup.env.push_back("KIV_SIM_STRIP_INIT_RESULT=" +
                          std::to_string(scenario.strip_init_result));
    if ((scenario.kernel_cmdline_set && opts.kernel_cmdline_set) ||
        (scenario.kernel_modules_set && opts.kernel_modules_set) ||
        (scenario.i2c_funcs >= 0 && !opts.i2c_funcs.empty()))
      return fail(kUsageError,
                  "--kernel-cmdline, --kernel-modules and --i2c-funcs do not go together with "
                  "the scenario's settings of the same");
    if (scenario.kernel_cmdline_set) {
      opts.kernel_cmdline_set = true;
      opts.kernel_cmdline = scenario.kernel_cmdline;
    }
    if (scenario.kernel_modules_set) {
      opts.kernel_modules_set = true;
      opts.kernel_modules = scenario.kernel_modules;
    }
    if (scenario.i2c_funcs >= 0)
      opts.i2c_funcs = std::to_string(scenario.i2c_funcs);
  }
  if (!opts.i2c_funcs.empty())
    setup.env.push_back(std::string(kivsim::i2c::kFuncsVariable) + "=" + opts.i2c_funcs);
  // Opened before the sandbox, where the path means what it means to the caller.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> junit(nullptr, std::fclose);
  if (!opts.junit.empty()) {
    junit.reset(std::fopen(opts.junit.c_str(), "we"));
    if (!junit)
      return fail(kUsageError, "cannot write " + opts.junit + ": " + std::strerror(errno));
  }
  if (opts.repeat > 1)
    return repeat_runs(opts, setup, scenario, junit.get());
  std::vector<kivsim::ExpectationResult> results;
  bool ran = false;
  const double started = seconds_now();
  const int status = run_program(opts, setup, scenario, results, ran);
  if (!ran || opts.scenario.empty())
    return status;
  const int verdict = kivsim::report_run(stdout, stderr, opts.scenario, results) ? 0 : 1;
  write_junit(junit.get(), opts, {results}, seconds_now() - started);
  return verdict;
}
