// SPDX-License-Identifier: MIT
// The board variant: the CPU serial number, the list of updated devices and
// the defaults that follow from them when no configuration file is present.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "config_fixture.h"
#include "kiv_config.h"
#include "test_support.h"

using kivsim::Sandbox;

namespace {

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

}  // namespace

TEST(UpdatedCpus, TableHoldsTheDeploymentListInOrder) {
  auto lines = kivtest::updated_cpus_file_lines();
  ASSERT_EQ(lines.size(), 348u);
  std::set<std::string> distinct;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string entry = X_FIRMWARE_UPDATE_CPUS[i];
    EXPECT_EQ(entry, lines[i]) << "entry " << i;
    EXPECT_EQ(entry.size(), 16u) << entry;
    EXPECT_EQ(entry.rfind("10000000", 0), 0u) << entry;
    EXPECT_EQ(entry.find_first_not_of("0123456789abcdef"), std::string::npos) << entry;
    distinct.insert(entry);
  }
  EXPECT_EQ(distinct.size(), 347u);
}

TEST(BoardVariant, UpdatedDeviceWithoutFileExchangesSections1And3AndPauses2Ms) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_TRUE(Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_in_table())));
  kivtest::StdoutCapture out;
  EXPECT_EQ(kivtest::values_in_force(), (std::vector<int>{3, 2, 1, 4, 2}));
  EXPECT_EQ(kivtest::configured_values(), (std::vector<int>{0, 0, 0, 0, 0}));
  for (int n : {0, 6, -1}) {
    EXPECT_EQ(firmware_index_v2(n), 0) << n;
    EXPECT_EQ(get_value_by_config(n), 0) << n;
  }
  EXPECT_EQ(is_configed, -1);
  EXPECT_EQ(is_x_device, 1);
  EXPECT_STREQ(serial_buf, kivtest::serial_in_table().c_str());

  // Decided once: another serial number later changes nothing.
  ASSERT_TRUE(Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_not_in_table())));
  EXPECT_TRUE(x_updated_device());
  EXPECT_EQ(firmware_index_v2(1), 3);
  EXPECT_EQ(count_of(out.text(), "[debug] Read cputinfo...\n"), 1) << out.text();
}

TEST(BoardVariant, OtherDeviceWithoutFileUsesChannelsAsNumberedAndNoPause) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_TRUE(Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_not_in_table())));
  kivtest::StdoutCapture out;
  kivtest::StderrCapture err;
  EXPECT_EQ(kivtest::values_in_force(), (std::vector<int>{1, 2, 3, 4, 0}));
  for (int n : {0, 6, -1})
    EXPECT_EQ(firmware_index_v2(n), 0) << n;
  EXPECT_EQ(is_x_device, -1);
  EXPECT_FALSE(x_updated_device());
  EXPECT_EQ(count_of(out.text(), "[debug] Read cputinfo..."), 1) << out.text();
  EXPECT_EQ(err.text(), "");
}

TEST(BoardVariant, SerialIsComparedOverItsFirst16Characters) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_TRUE(
      Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_in_table() + "77")));
  EXPECT_TRUE(x_updated_device());
}

TEST(BoardVariant, UnreadableCpuinfoCountsAsOtherDeviceAndIsNotRetried) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_TRUE(Sandbox::hide_cpuinfo());
  kivtest::StdoutCapture out;
  kivtest::StderrCapture err;
  EXPECT_EQ(firmware_index_v2(5), 0);
  EXPECT_EQ(err.text().rfind("Failed to open /proc/cpuinfo: ", 0), 0u) << err.text();
  EXPECT_EQ(is_x_device, -1);

  ASSERT_TRUE(Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_in_table())));
  EXPECT_EQ(kivtest::values_in_force(), (std::vector<int>{1, 2, 3, 4, 0}));
  EXPECT_EQ(count_of(err.text(), "Failed to open"), 1);
  EXPECT_EQ(count_of(out.text(), "[debug] Read cputinfo..."), 1);
}

TEST(BoardVariant, NoSerialLineCountsAsOtherDeviceSilently) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_TRUE(Sandbox::set_cpuinfo("processor\t: 0\nModel\t\t: Raspberry Pi 4\n"));
  kivtest::StderrCapture err;
  EXPECT_FALSE(x_updated_device());
  EXPECT_EQ(serial_buf[0], '\0');
  EXPECT_EQ(err.text(), "");
}

TEST(BoardVariant, OnlySections1And3AndThePauseAskForTheVariant) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_TRUE(Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_in_table())));
  ASSERT_TRUE(kivtest::replace_config_file(
      "[LIGHT]\nsection_1 = 2\nsection_3 = 4\n[CMD]\ntimeout_ns = 7\n"));
  kivtest::StdoutCapture out;
  EXPECT_EQ(kivtest::values_in_force(), (std::vector<int>{2, 2, 4, 4, 7}));
  EXPECT_EQ(is_x_device, 0);
  EXPECT_EQ(out.text(), "");
}

// get_cpu_serial reads anew at each call; serial_buf keeps its content when no
// line qualifies.
TEST(CpuSerial, TakesUpTo16CharactersAfterColonAndBlankOfFirstSerialLine) {
  KIV_REQUIRE_SANDBOX();
  const std::string long_piece = "Serial" + std::string(249, 'x') + ": 1234\n";
  struct Case {
    std::string cpuinfo;
    std::string expected;  // the 17 bytes of serial_buf, NUL padded
  } cases[] = {
      {"Serial\t\t: 10000000abcdef01\n", "10000000abcdef01"},
      {"Serial : 10000000abcdef0123\n", "10000000abcdef01"},
      {"Serial\t: 12ab\nSerial\t: 99\n", "12ab\n"},  // short: the newline comes along
      {"Serial number unknown\nHwSerial: abcd", "abcd"},
      {"x: Serial one\n", "Serial one\n"},
      {"Serial:\n", ""},
      {"Serial:", ""},
      {"Serial:x", ""},
      {"SERIAL : 1234\nserial : 5678\n", "keep"},  // case-sensitive
      {long_piece, "keep"},  // "Serial" and ":" fall in different 255-byte pieces
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Sandbox::set_cpuinfo(c.cpuinfo));
    std::memset(serial_buf, 0x55, sizeof serial_buf);
    std::strcpy(serial_buf, "keep");
    kivtest::StdoutCapture out;
    get_cpu_serial();
    std::string expected = c.expected;
    if (expected == "keep") {
      EXPECT_STREQ(serial_buf, "keep") << c.cpuinfo;
      continue;
    }
    expected.resize(17, '\0');
    EXPECT_EQ(std::string(serial_buf, 17), expected) << c.cpuinfo;
    EXPECT_EQ(out.text(), "[debug] Read cputinfo...\n");
  }
}
