// SPDX-License-Identifier: MIT
// Signals meant for the application never reach the library's threads: an
// input line's interrupt survives a signal aimed at its thread.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>

#include "kiv_io.h"
#include "test_support.h"
#include "wiringPi_sim.h"

namespace gpio = kivsim::gpio;

namespace {

std::atomic<int> g_inputs{0};
void on_input(int) {
  ++g_inputs;
}
void on_signal(int) {}

TEST(FacadeSignals, AnInputSurvivesASignalAimedAtItsInterruptThread) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com1"), 0);
  ASSERT_GE(kivsim::Sandbox::add_port("/dev/com2"), 0);
  struct sigaction handled {};
  handled.sa_handler = on_signal;
  struct sigaction before {};
  ASSERT_EQ(sigaction(SIGUSR1, &handled, &before), 0);
  kivtest::StdoutCapture out;
  kiv::KivIo* io = kiv::KivIo::getInstance();
  io->setup();
  io->registerInput(on_input);
  // The caller's own mask is back as it was.
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  EXPECT_FALSE(sigismember(&mask, SIGUSR1));

  ASSERT_TRUE(gpio::signal_isr_thread(17, SIGUSR1));
  usleep(100 * 1000);
  EXPECT_TRUE(gpio::has_isr(17));
  ASSERT_TRUE(gpio::inject_edge(17, 1));
  EXPECT_TRUE(kivtest::wait_until([] { return g_inputs.load() == 1; }));
  kiv::KivIo::close_io();
  sigaction(SIGUSR1, &before, nullptr);
}

}  // namespace
