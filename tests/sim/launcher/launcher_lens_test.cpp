// SPDX-License-Identifier: MIT
// The lens controller on the launcher's board: a program's raw I2C requests
// reach it through the preloaded layer, and the lens commands change it, as
// the run's trace records.
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

using kivsim::EventKind;
using kivsim::EventSource;

TEST(LauncherLens, TransfersAndRegistersAreShownAndAnsweredByTheController) {
  ScratchFile script("lens.script", "lens set 0 E8 03 55 66\nlens set 64 1\n");
  LauncherRun run =
      run_traced(probe({"--script", script.path()}, {"sleep", "100", "i2c-read", "0", "i2c-write",
                                                     "002801000000", "i2c-read", "40"}));
  KIV_SKIP_WITHOUT_BOARD(run);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const EventSource i2c = EventSource::kI2c, out = EventSource::kProgram;
  const struct {
    EventSource source;
    EventKind kind;
    const char* text;
  } seen[] = {
      {i2c, EventKind::kBus, "register 0 <- E8 03 55 66"},
      {i2c, EventKind::kRegisters, "registers: lens 1000 (E8 03 55 66), VTemp 0 (00 00 00 00)"},
      {i2c, EventKind::kBus, "no register 64 (0 to 63)"},
      {i2c, EventKind::kOpen, "open /dev/i2c-5"},
      {i2c, EventKind::kTransfer, "write 18 [00 00], read 18 [E8 03 55 66] -> ok"},
      {out, EventKind::kOut, "i2c read E8 03 55 66"},
      {i2c, EventKind::kTransfer, "write 18 [00 28 01 00 00 00] -> ok"},
      {i2c, EventKind::kRegisters, "registers: lens 1000 (E8 03 55 66), VTemp 1 (01 00 00 00)"},
      {out, EventKind::kOut, "i2c read 01 00 00 00"},
      {i2c, EventKind::kClose, "close /dev/i2c-5"},
      {EventSource::kSim, EventKind::kNote,
       "i2c: 3 transfers (0 failed); lens 1000 (E8 03 55 66), VTemp 1 (01 00 00 00)"},
  };
  for (const auto& s : seen)
    EXPECT_TRUE(run.saw(s.source, s.kind, s.text)) << "missing: " << s.text << "\n"
                                                   << run.trace_text();
  const kivsim::DeviceState state = run.end_state();
  EXPECT_EQ(state.lens_value, 1000);
  EXPECT_EQ(state.vtemp, 1);
}

// Each lens command leaves the bus as the program then finds it: the
// kernel's error for the transfer or the open, and the bus's state in the
// record.
TEST(LauncherLens, BrokenBusAndMissingDeviceFailAsTheKernelReports) {
  const struct {
    const char* commands;
    const char* shown;
    const char* program_sees;
    kivsim::LensBus bus;
  } cases[] = {
      {"lens nack\n",
       "write 18 [00 00], read 18 (4 bytes) -> EREMOTEIO (Remote I/O error)",
       "i2c failed: Remote I/O error",
       {true, false, false}},
      {"lens stuck\n",
       "-> ETIMEDOUT (Connection timed out)",
       "i2c failed: Connection timed out",
       {true, true, true}},
      {"lens remove\n",
       "open /dev/i2c-5: no such device (ENOENT)",
       "i2c open failed: No such file or directory",
       {false, false, true}},
      {"lens stuck\nlens nack\nlens remove\nlens attach\nlens mend\n",
       "write 18 [00 00], read 18 [00 00 00 00] -> ok",
       "i2c read 00 00 00 00",
       {true, false, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commands);
    ScratchFile script("lens.script", c.commands);
    LauncherRun run =
        run_traced(probe({"--script", script.path()}, {"sleep", "100", "i2c-read", "0"}));
    KIV_SKIP_WITHOUT_BOARD(run);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.event_with(c.shown), nullptr) << run.trace_text();
    EXPECT_TRUE(run.saw(EventSource::kProgram, EventKind::kOut, c.program_sees))
        << run.trace_text();
    EXPECT_TRUE(run.end_state().bus == c.bus) << run.trace_text();
  }
}

}  // namespace
}  // namespace kivtest
