// SPDX-License-Identifier: MIT
// The demo entry point, run as a program through strip_demo_fast, whose
// sleep returns at once and which ends itself after nine steps.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct DemoRun {
  int status = -1;
  std::string out;
};

// Runs the fast demo with `env` ("NAME=value ..." or "") and standard error
// joined to its output.
DemoRun run_demo(const std::string& env) {
  std::string command = env + " " + KIV_TEST_EMULATOR + " " + KIV_DEMO_FAST_PATH + " 2>&1";
  DemoRun run;
  FILE* p = popen(command.c_str(), "r");
  if (!p)
    return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    run.out.append(buf, n);
  int status = pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(StripDemo, CyclesPaletteEntriesZeroToSevenRenderingEach) {
  DemoRun run = run_demo("");
  std::string expected = "init ws2811 ok\n";
  const char* colours[] = {"ff0000", "201000", "202000", "00ff00", "002020",
                           "0000ff", "100010", "200010", "ff0000"};
  for (int step = 0; step < 9; ++step)
    expected +=
        "Led color: " + std::to_string(step % 8) + "\nsleep 1 after " + colours[step] + " x9\n";
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.status, 0);
}

TEST(StripDemo, FailedInitEndsWithoutTheLoop) {
  DemoRun run = run_demo("KIV_SIM_STRIP_INIT_RESULT=-3");
  EXPECT_EQ(run.out, "ws2811_init failed: Hardware revision is not supported\n");
  EXPECT_EQ(run.status, 1);
}

}  // namespace
