// SPDX-License-Identifier: MIT
// Lookups from several threads while a failing configuration file keeps
// changing: every value seen is one that a version of the file ends with.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config_fixture.h"
#include "kiv_config.h"
#include "test_support.h"

namespace {

// A failing file ("unknown" is refused) that sets each key first to a
// throw-away value and then to its final one.
std::string version(int base) {
  std::string text = "[LIGHT]\nunknown = 1\n";
  for (int round = 0; round < 20; ++round)
    for (int k = 1; k <= 4; ++k)
      text += "section_" + std::to_string(k) + " = " + std::to_string(1000 + round) + "\n";
  for (int k = 1; k <= 4; ++k)
    text += "section_" + std::to_string(k) + " = " + std::to_string(base + k) + "\n";
  text += "[CMD]\n";
  for (int round = 0; round < 20; ++round)
    text += "timeout_ns = " + std::to_string(-round) + "\n";
  text += "timeout_ns = " + std::to_string(base + 5) + "\n";
  return text;
}

}  // namespace

TEST(ConfigThreads, ConcurrentLookupsOfFailingFileSeeOnlyFinalValues) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_TRUE(
      kivsim::Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_not_in_table())));
  ASSERT_TRUE(kivtest::replace_config_file(version(10)));

  std::atomic<bool> stop{false};
  std::atomic<int> bad{0}, lookups{0};
  std::atomic<int> bad_value{0};
  auto lookup = [&] {
    while (!stop.load()) {
      for (int n = 1; n <= 5; ++n) {
        int v = get_value_by_config(n);
        if (v != 10 + n && v != 20 + n) {
          bad_value = v;
          ++bad;
        }
      }
      ++lookups;
    }
  };
  std::thread a(lookup), b(lookup), c(lookup);
  bool replaced = true;
  for (int i = 0; i < 200 && replaced; ++i)
    replaced = kivtest::replace_config_file(version(i % 2 ? 20 : 10));
  EXPECT_TRUE(replaced);
  EXPECT_TRUE(kivtest::wait_until([&] { return lookups.load() > 600; }, std::chrono::seconds(60)));
  stop = true;
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(bad.load(), 0) << "for instance " << bad_value.load();
  EXPECT_EQ(is_configed, 0);
}

TEST(ConfigThreads, ConcurrentFirstLookupsDecideTheBoardVariantOnce) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_TRUE(
      kivsim::Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_in_table())));
  kivtest::StdoutCapture out;
  std::atomic<int> ready{0};
  std::atomic<int> updated{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&] {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      updated.fetch_add(x_updated_device() ? 1 : 0);
    });
  }
  for (auto& t : threads)
    t.join();
  EXPECT_EQ(updated.load(), 2);
  EXPECT_EQ(out.text(), "[debug] Read cputinfo...\n");
}
