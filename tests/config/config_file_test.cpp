// SPDX-License-Identifier: MIT
// The configuration file's life in one process: read once when clean or
// missing, read again at every lookup while it fails to parse.
#include <gtest/gtest.h>

#include "config_fixture.h"
#include "kiv_config.h"
#include "test_support.h"

using kivsim::Sandbox;
using V = std::vector<int>;

namespace {

void as_updated_device() {
  ASSERT_TRUE(Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_in_table())));
}
void as_other_device() {
  ASSERT_TRUE(Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_not_in_table())));
}

}  // namespace

TEST(ConfigFile, CleanFileWinsOnUpdatedDeviceAndIsNeverReadAgain) {
  KIV_REQUIRE_SANDBOX();
  as_updated_device();
  ASSERT_TRUE(kivtest::replace_config_file("[LIGHT]\nsection_1 = 4\n[CMD]\ntimeout_ns = 10\n"));
  EXPECT_EQ(kivtest::values_in_force(), (V{4, 2, 1, 4, 10}));
  EXPECT_EQ(is_configed, 1);
  EXPECT_EQ(config.section_1, 4);
  EXPECT_EQ(config.timeout_ns, 10);

  ASSERT_TRUE(kivtest::replace_config_file("[LIGHT]\nsection_1 = 2\n"));
  EXPECT_EQ(kivtest::configured_values(), (V{4, 0, 0, 0, 10}));
  Sandbox::remove_etc_file("ul-opx3000.ini");
  EXPECT_EQ(kivtest::values_in_force(), (V{4, 2, 1, 4, 10}));
  EXPECT_EQ(is_configed, 1);
}

TEST(ConfigFile, CleanFileWinsOnOtherDevice) {
  KIV_REQUIRE_SANDBOX();
  as_other_device();
  ASSERT_TRUE(kivtest::replace_config_file("[LIGHT]\nsection_1 = 4\n[CMD]\ntimeout_ns = 10\n"));
  EXPECT_EQ(kivtest::values_in_force(), (V{4, 2, 3, 4, 10}));
}

TEST(ConfigFile, NegativePauseInCleanFileFallsBackToDefault) {
  KIV_REQUIRE_SANDBOX();
  as_updated_device();
  ASSERT_TRUE(kivtest::replace_config_file("[CMD]\ntimeout_ns = -5\n"));
  EXPECT_EQ(get_value_by_config(5), 0);
  EXPECT_EQ(firmware_index_v2(5), 2);
  EXPECT_EQ(config.timeout_ns, 0);
  EXPECT_EQ(is_configed, 1);
}

TEST(ConfigFile, FailingFileIsReadAgainAtEveryLookupKeepingOtherKeys) {
  KIV_REQUIRE_SANDBOX();
  as_updated_device();
  ASSERT_TRUE(kivtest::replace_config_file(
      "[LIGHT]\nsection_1 = 4\nbrightness = 7\n[CMD]\ntimeout_ns = -5\n"));
  EXPECT_EQ(kivtest::configured_values(), (V{4, 0, 0, 0, -5}));
  // The negative pause of a failing file is passed on as it stands.
  EXPECT_EQ(kivtest::values_in_force(), (V{4, 2, 1, 4, -5}));
  EXPECT_EQ(is_configed, 0);

  ASSERT_TRUE(kivtest::replace_config_file("[LIGHT]\nsection_2 = 3\nnonsense\n"));
  EXPECT_EQ(kivtest::configured_values(), (V{4, 3, 0, 0, -5}));
  EXPECT_EQ(is_configed, 0);

  // The first clean parse settles it, raising the negative pause to 0.
  ASSERT_TRUE(kivtest::replace_config_file("[LIGHT]\nsection_4 = 1\n"));
  EXPECT_EQ(kivtest::configured_values(), (V{4, 3, 0, 1, 0}));
  EXPECT_EQ(is_configed, 1);
  EXPECT_EQ(firmware_index_v2(5), 2);
}

TEST(ConfigFile, FailingFileThatDisappearsLeavesItsValues) {
  KIV_REQUIRE_SANDBOX();
  as_other_device();
  ASSERT_TRUE(kivtest::replace_config_file("section_2 = 1\n[LIGHT]\nsection_3 = 2\n"));
  EXPECT_EQ(kivtest::values_in_force(), (V{1, 2, 2, 4, 0}));
  EXPECT_EQ(is_configed, 0);
  Sandbox::remove_etc_file("ul-opx3000.ini");
  EXPECT_EQ(kivtest::values_in_force(), (V{1, 2, 2, 4, 0}));
  EXPECT_EQ(is_configed, -1);
  ASSERT_TRUE(kivtest::replace_config_file("[LIGHT]\nsection_3 = 4\n"));
  EXPECT_EQ(firmware_index_v2(3), 2);
}

TEST(ConfigFile, FileCreatedAfterFirstLookupIsIgnored) {
  KIV_REQUIRE_SANDBOX();
  as_other_device();
  kivtest::StdoutCapture out;
  EXPECT_EQ(firmware_index_v2(2), 2);
  EXPECT_EQ(is_configed, -1);
  ASSERT_TRUE(kivtest::replace_config_file("[LIGHT]\nsection_2 = 4\n"));
  EXPECT_EQ(kivtest::values_in_force(), (V{1, 2, 3, 4, 0}));
  EXPECT_EQ(is_configed, -1);
  EXPECT_EQ(out.text(), "[debug] Read cputinfo...\n");  // nothing about the file
}

TEST(ConfigFile, FileThatCannotBeOpenedIsTriedAgain) {
  KIV_REQUIRE_SANDBOX();
  as_other_device();
  ASSERT_TRUE(kivtest::make_config_file_unopenable());
  kivtest::StdoutCapture out;
  kivtest::StderrCapture err;
  EXPECT_EQ(kivtest::values_in_force(), (V{1, 2, 3, 4, 0}));
  EXPECT_EQ(is_configed, 0);
  EXPECT_EQ(err.text(), "");
  ASSERT_TRUE(kivtest::replace_config_file("[LIGHT]\nsection_2 = 4\n"));
  EXPECT_EQ(firmware_index_v2(2), 4);
  EXPECT_EQ(is_configed, 1);
}
