// SPDX-License-Identifier: MIT
// The lens controller on the launcher's board: a program's raw I2C requests
// reach it through the preloaded layer, and the lens commands change it.
#include <gtest/gtest.h>

#include "run_launcher.h"

namespace kivtest {
namespace {

std::vector<std::string> probe(std::vector<std::string> prefix, std::vector<std::string> actions) {
  for (const std::string& word : built_program(probe_path()))
    prefix.push_back(word);
  prefix.insert(prefix.end(), actions.begin(), actions.end());
  return prefix;
}

TEST(LauncherLens, TransfersAndRegistersAreShownAndAnsweredByTheController) {
  ScratchFile script("lens.script", "lens set 0 E8 03 55 66\nlens set 64 1\n");
  LauncherRun run =
      run_launcher(probe({"--script", script.path()}, {"sleep", "100", "i2c-read", "0", "i2c-write",
                                                       "002801000000", "i2c-read", "40"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* line : {
           " i2c   register 0 <- E8 03 55 66\n",
           " i2c   registers: lens 1000 (E8 03 55 66), VTemp 0 (00 00 00 00)\n",
           " i2c   no register 64 (0 to 63)\n",
           " i2c   open /dev/i2c-5\n",
           " i2c   write 18 [00 00], read 18 [E8 03 55 66] -> ok\n",
           " out   i2c read E8 03 55 66\n",
           " i2c   write 18 [00 28 01 00 00 00] -> ok\n",
           " i2c   registers: lens 1000 (E8 03 55 66), VTemp 1 (01 00 00 00)\n",
           " out   i2c read 01 00 00 00\n",
           " i2c   close /dev/i2c-5\n",
           " sim   i2c: 3 transfers (0 failed); lens 1000 (E8 03 55 66), VTemp 1 (01 00 00 00)\n",
       })
    EXPECT_TRUE(run.has(line)) << "missing: " << line << run.out;
}

TEST(LauncherLens, BrokenBusAndMissingDeviceFailAsTheKernelReports) {
  const struct {
    const char* commands;
    const char* shown;
    const char* program_sees;
  } cases[] = {
      {"lens nack\n", "write 18 [00 00], read 18 (4 bytes) -> EREMOTEIO (Remote I/O error)",
       "i2c failed: Remote I/O error"},
      {"lens stuck\n", "-> ETIMEDOUT (Connection timed out)", "i2c failed: Connection timed out"},
      {"lens remove\n", "open /dev/i2c-5: no such device (ENOENT)",
       "i2c open failed: No such file or directory"},
      {"lens stuck\nlens nack\nlens remove\nlens attach\nlens mend\n",
       "write 18 [00 00], read 18 [00 00 00 00] -> ok", "i2c read 00 00 00 00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commands);
    ScratchFile script("lens.script", c.commands);
    LauncherRun run =
        run_launcher(probe({"--script", script.path()}, {"sleep", "100", "i2c-read", "0"}));
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.has(c.shown)) << run.out;
    EXPECT_TRUE(run.has(std::string(" out   ") + c.program_sees + "\n")) << run.out;
  }
}

}  // namespace
}  // namespace kivtest
