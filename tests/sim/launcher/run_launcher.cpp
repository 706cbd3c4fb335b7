// SPDX-License-Identifier: MIT
#include "run_launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "trace_reader.h"

namespace kivtest {

const kivsim::Event* LauncherRun::event(kivsim::EventSource source, kivsim::EventKind kind,
                                        const std::string& text) const {
  for (const kivsim::Event& e : events)
    if (e.source == source && e.kind == kind && e.text == text)
      return &e;
  return nullptr;
}

const kivsim::Event* LauncherRun::event_with(const std::string& text) const {
  size_t at = index_of(text);
  return at == std::string::npos ? nullptr : &events[at];
}

size_t LauncherRun::index_of(const std::string& text) const {
  for (size_t i = 0; i < events.size(); ++i)
    if (events[i].text.find(text) != std::string::npos)
      return i;
  return std::string::npos;
}

double LauncherRun::time_of(const std::string& text) const {
  const kivsim::Event* e = event_with(text);
  return e ? static_cast<double>(e->time_ns) / 1e9 : -1;
}

kivsim::DeviceState LauncherRun::end_state() const {
  kivsim::DeviceState state;
  for (const kivsim::Event& e : events)
    kivsim::apply_change(state, e.changes);
  return state;
}

std::string LauncherRun::trace_text() const {
  std::string text = trace_error.empty() ? "" : "trace: " + trace_error + "\n";
  for (const kivsim::Event& e : events)
    text += std::string(kivsim::source_name(e.source)) + " " + kivsim::kind_name(e.kind) + " " +
            e.text + "\n";
  return text;
}

std::string launcher_path() {
  return KIV_SIM_RUN_PATH;
}
std::string probe_path() {
  return KIV_PROBE_PATH;
}

ScratchFile::ScratchFile(const std::string& name, const std::string& content) {
  char tmpl[] = "/tmp/kiv-launcher-test-XXXXXX";
  if (!mkdtemp(tmpl))
    return;
  dir_ = tmpl;
  path_ = dir_ + "/" + name;
  FILE* f = std::fopen(path_.c_str(), "w");
  if (!f)
    return;
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

ScratchFile::~ScratchFile() {
  if (!path_.empty())
    unlink(path_.c_str());
  if (!dir_.empty())
    rmdir(dir_.c_str());
}

std::vector<std::string> built_program(const std::string& path) {
  std::string emulator = KIV_TEST_EMULATOR;
  if (emulator.empty())
    return {path};
  return {emulator, path};
}

LauncherRun run_launcher(const std::vector<std::string>& args, const std::string& input,
                         double timeout_s, int closed_fd) {
  LauncherRun run;
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    return run;
  std::vector<std::string> argv_s = built_program(launcher_path());
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_s)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (closed_fd >= 0)
      close(closed_fd);
    execvp(argv[0], argv.data());
    _exit(126);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // Small inputs fit the pipe at once; the launcher reads them as it goes.
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0)
    std::perror("input");
  close(in[1]);

  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open_count = 2;
  auto deadline = start + std::chrono::milliseconds(static_cast<long>(timeout_s * 1000));
  bool timed_out = false;
  while (open_count > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0)
      continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
        continue;
      char buf[4096];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  for (pollfd& p : fds)
    if (p.fd >= 0)
      close(p.fd);
  int status = 0;
  waitpid(pid, &status, 0);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!timed_out && WIFEXITED(status))
    run.status = WEXITSTATUS(status);
  return run;
}

LauncherRun run_traced(const std::vector<std::string>& args, const std::string& input,
                       double timeout_s) {
  ScratchFile trace("trace.jsonl", "");
  std::vector<std::string> traced = {"--trace", trace.path()};
  traced.insert(traced.end(), args.begin(), args.end());
  LauncherRun run = run_launcher(traced, input, timeout_s);
  kivsim::read_trace(trace.path(), run.events, run.trace_error);
  return run;
}

}  // namespace kivtest
