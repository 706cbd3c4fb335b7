// SPDX-License-Identifier: MIT
#include "waveform_run.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "event_json.h"

namespace kivtest {
namespace {

std::string file_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string words(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words)
    out += (out.empty() ? "'" : " '") + w + "'";
  return out;
}

}  // namespace

std::vector<WaveformProgram> waveform_programs() {
  std::vector<WaveformProgram> programs = {
      {"example", {"--script", KIV_EXAMPLE_SCRIPT}},
      {"inspection", {"--scenario", KIV_INSPECTION_SCENARIO}},
  };
  for (const std::string& word : built_program(KIV_EXAMPLE_PATH))
    programs[0].args.push_back(word);
  for (const std::string& word : built_program(KIV_INSPECTION_PATH))
    programs[1].args.push_back(word);
  return programs;
}

WaveformRun run_with_waveform(const WaveformProgram& program) {
  ScratchFile vcd("run.vcd", "");
  std::vector<std::string> args = {"--vcd", vcd.path()};
  args.insert(args.end(), program.args.begin(), program.args.end());
  WaveformRun out;
  out.run = run_traced(args, "", 60);
  out.vcd = file_text(vcd.path());
  return out;
}

std::string command_output(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe)
    return "cannot run " + command;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
    out.append(buf, n);
  const int result = pclose(pipe);
  if (status)
    *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return out;
}

std::string converted(const LauncherRun& run, bool wires_only) {
  ScratchFile trace("trace.jsonl", "");
  {
    std::ofstream out(trace.path());
    for (const kivsim::Event& e : run.events)
      out << kivsim::trace_line(e) << "\n";
  }
  std::vector<std::string> command = built_program(KIV_SIM_VCD_PATH);
  if (wires_only)
    command.push_back("--wires-only");
  command.push_back(trace.path());
  command.push_back("/dev/stdout");
  return command_output(words(command));
}

}  // namespace kivtest
