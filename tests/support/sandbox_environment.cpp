// SPDX-License-Identifier: MIT
// Runs every test of the program in the sandbox, whose "/proc/cpuinfo" names
// the board's revision as a Pi's does: without it the GPIO stand-in's set-up
// ends the process, as the real library's does on a PC.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

class SandboxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { KIV_REQUIRE_SANDBOX(); }
};

const ::testing::Environment* const g_sandbox =
    ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);

}  // namespace
