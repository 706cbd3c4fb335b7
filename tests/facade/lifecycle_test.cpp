// SPDX-License-Identifier: MIT
// The facade's single instance: creation, close_io, concurrent first use, and
// closing while a serial reader's callback is itself fetching the instance.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "facade_test_util.h"
#include "kiv_io.h"
#include "test_support.h"

using kiv::KivIo;

namespace {
void on_level(int) {}
void on_hardware() {}
}  // namespace

TEST(FacadeLifecycle, CreateCloseAndAFreshInstanceAfterwards) {
  kivtest::StdoutCapture out;
  KivIo::close_io();  // nothing to destroy yet
  KivIo* io = KivIo::getInstance();
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(KivIo::getInstance(), io);
  EXPECT_EQ(out.text(), "[KIV-IO] create...\n");
  EXPECT_EQ(io->workMode, 1);
  EXPECT_EQ(io->inputCallback, nullptr);
  EXPECT_EQ(io->hardwareCallback, nullptr);

  io->registerInput(on_level);
  io->registerTrigger(on_level);
  io->registerTune(on_level);
  io->hardwareCallback = on_hardware;
  io->workMode = 3;
  KivIo::close_io();
  KivIo::close_io();
  EXPECT_EQ(out.text(), "[KIV-IO] create...\n[KIV-IO] delete...\n");
  EXPECT_EQ(KivIo::instance, nullptr);

  io = KivIo::getInstance();
  EXPECT_EQ(out.text(), "[KIV-IO] create...\n[KIV-IO] delete...\n[KIV-IO] create...\n");
  EXPECT_EQ(io->workMode, 1);
  EXPECT_EQ(io->inputCallback, nullptr);
  EXPECT_EQ(io->triggerCallback, nullptr);
  EXPECT_EQ(io->tuneCallback, nullptr);
  EXPECT_EQ(io->hardwareCallback, nullptr);
  KivIo::close_io();
}

TEST(FacadeLifecycle, ConcurrentFirstCallsShareOneInstance) {
  kivtest::StdoutCapture out;
  const int n = 8;
  std::atomic<int> ready{0};
  std::vector<KivIo*> got(n, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready < n) {
      }
      got[static_cast<size_t>(i)] = KivIo::getInstance();
    });
  }
  for (auto& t : threads)
    t.join();
  for (KivIo* p : got)
    EXPECT_EQ(p, got[0]);
  EXPECT_EQ(kivtest::count_of(out.text(), "[KIV-IO] create..."), 1);
  KivIo::close_io();
}

namespace {
std::atomic<int> g_reader_entered{0};
std::atomic<KivIo*> g_reader_saw{nullptr};

// A read callback that fetches the facade, as an application's may; it waits
// until close_io has taken the instance out, so the destructor is about to
// join this thread (or already joining it).
void fetching_reader(char*) {
  ++g_reader_entered;
  kivtest::wait_until([] { return __atomic_load_n(&KivIo::instance, __ATOMIC_ACQUIRE) == nullptr; },
                      std::chrono::milliseconds(5000));
  usleep(50 * 1000);
  g_reader_saw = KivIo::getInstance();
}
}  // namespace

TEST(FacadeLifecycle, CloseWhileAReaderCallbackFetchesTheInstanceDoesNotDeadlock) {
  KIV_REQUIRE_SANDBOX();
  int com1 = kivsim::Sandbox::add_port("/dev/com1");
  int com2 = kivsim::Sandbox::add_port("/dev/com2");
  ASSERT_GE(com1, 0);
  ASSERT_GE(com2, 0);
  kivtest::StdoutCapture out;
  int fds = kivtest::count_open_fds();
  KivIo* io = KivIo::getInstance();
  io->setup();
  io->setAMA1Callback(fetching_reader);
  ASSERT_TRUE(kivtest::write_all(com1, "x", 1));
  ASSERT_TRUE(kivtest::wait_until([] { return g_reader_entered > 0; }));

  auto closed = std::async(std::launch::async, [] { KivIo::close_io(); });
  if (closed.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "close_io deadlocked against the reader thread";
    _exit(1);
  }
  // The reader got through to a fresh instance; the ports are closed.
  KivIo* fresh = g_reader_saw.load();
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(KivIo::instance, fresh);
  EXPECT_EQ(kivtest::count_of(out.text(), "[KIV-IO] delete..."), 1);
  EXPECT_EQ(kivtest::count_of(out.text(), "[KIV-IO] create..."), 2);
  KivIo::close_io();
  EXPECT_EQ(kivtest::count_open_fds(), fds);
}
