// SPDX-License-Identifier: MIT
// A script's bytes through the launcher's script reader, and each of its
// lines through the command parser: what the reader accepts, each line
// accepts on its own, and a refusal always says why.
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "commands.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<kivsim::Command> script;
  std::string error;
  const bool loaded = kivsim::load_script(kivfuzz::scratch_file(data, size), script, error);
  KIV_FUZZ_CHECK(loaded || !error.empty());

  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t commands = 0;
  bool refused = false;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    kivsim::Command cmd;
    std::string why;
    switch (kivsim::parse_command(text.substr(start, end - start), cmd, why)) {
      case kivsim::ParseResult::kCommand:
        ++commands;
        break;
      case kivsim::ParseResult::kError:
        KIV_FUZZ_CHECK(!why.empty());
        refused = true;
        break;
      case kivsim::ParseResult::kBlank:
        break;
    }
    start = end + 1;
  }
  if (loaded)
    KIV_FUZZ_CHECK(!refused && script.size() == commands);
  return 0;
}
