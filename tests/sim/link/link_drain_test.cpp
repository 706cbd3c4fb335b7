// SPDX-License-Identifier: MIT
// The launcher reads every link to its end before it sums a run up.
#include <gtest/gtest.h>

#include "run_launcher.h"

namespace {

TEST(LinkDrain, ReportsQueuedWhenTheProgramEndsReachTheSummary) {
  // The program ends with far more reports on their way than the launcher
  // reads at one time, the last level among the last of them.
  kivtest::LauncherRun run = kivtest::run_traced(kivtest::built_program(KIV_LINK_WRITER_PATH));
  KIV_SKIP_WITHOUT_BOARD(run);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.has("outputs: do1 (22)=1")) << run.out.substr(run.out.rfind("program "));
  EXPECT_EQ(run.end_state().output[22], 1);
}

}  // namespace
