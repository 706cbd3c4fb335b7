// SPDX-License-Identifier: MIT
// The way the launcher preloads the I2C layer into the program it runs.
#include <gtest/gtest.h>

#include "preload.h"
#include "test_support.h"

namespace kivsim {
namespace {

TEST(LayerPreload, SanitizerRuntimesLeadAndAnEmulatedProgramGetsItThroughTheEmulator) {
  std::vector<std::string> runtimes = sanitizer_runtimes("/proc/self/exe");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  ASSERT_FALSE(runtimes.empty());
  EXPECT_TRUE(runtimes[0].find("san.so") != std::string::npos) << runtimes[0];
#else
  EXPECT_TRUE(runtimes.empty()) << runtimes[0];
#endif
  EXPECT_TRUE(sanitizer_runtimes("/nonexistent").empty());
  EXPECT_TRUE(sanitizer_runtimes("/proc/self/cmdline").empty());

  std::string lead;
  for (const std::string& r : runtimes)
    lead += r + ":";
  std::vector<std::string> program = {"/proc/self/exe", "arg"}, env;
  preload_library(program, env, "/lib/layer.so", "/host/other.so");
  EXPECT_EQ(program, (std::vector<std::string>{"/proc/self/exe", "arg"}));
  EXPECT_EQ(env, std::vector<std::string>{"LD_PRELOAD=" + lead + "/lib/layer.so:/host/other.so"});

  program = {"/usr/bin/qemu-aarch64", "-L", "/x", "/proc/self/exe", "arg"};
  env.clear();
  preload_library(program, env, "/lib/layer.so", "/host/other.so");
  EXPECT_EQ(program, (std::vector<std::string>{"/usr/bin/qemu-aarch64", "-E",
                                               "LD_PRELOAD=" + lead + "/lib/layer.so", "-L", "/x",
                                               "/proc/self/exe", "arg"}));
  EXPECT_TRUE(env.empty());
}

}  // namespace
}  // namespace kivsim
