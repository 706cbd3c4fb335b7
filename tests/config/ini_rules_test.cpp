// SPDX-License-Identifier: MIT
// How lines of the configuration file are taken, as the system's INI parser
// and our handler settle them between them. Each file is looked up in a fresh
// process, on a board that is not an updated device.
#include <gtest/gtest.h>

#include "config_fixture.h"
#include "kiv_config.h"
#include "test_support.h"

namespace {

struct IniCase {
  const char* name;
  std::string text;
  int configed;             // is_configed after the lookups
  std::vector<int> values;  // get_value_by_config(1..5)
};

const std::string kBom = "\xEF\xBB\xBF";

const IniCase kCases[] = {
    {"EmptyFileIsClean", "", 1, {0, 0, 0, 0, 0}},
    {"AllFiveKeys",
     "[LIGHT]\nsection_1=4\nsection_2=3\nsection_3=2\nsection_4=1\n[CMD]\ntimeout_ns=9\n",
     1,
     {4, 3, 2, 1, 9}},
    {"SectionNamesAreCaseSensitive",
     "[light]\nsection_1 = 4\n[LIGHT]\nsection_2 = 3\n",
     0,
     {0, 3, 0, 0, 0}},
    {"KeyNamesAreCaseSensitive", "[LIGHT]\nSection_1 = 4\nsection_2 = 3\n", 0, {0, 3, 0, 0, 0}},
    {"KeysOfTheOtherSectionAreRefused",
     "[LIGHT]\ntimeout_ns = 9\n[CMD]\nsection_2 = 3\n",
     0,
     {0, 0, 0, 0, 0}},
    {"KeyBeforeAnySectionIsRefused", "section_1 = 4\n[LIGHT]\nsection_2 = 3\n", 0, {0, 3, 0, 0, 0}},
    {"ValuesAreConvertedWithAtoi",
     "[LIGHT]\nsection_1 = 3x\nsection_2 = abc\nsection_3 = 0\nsection_4 = +2\n[CMD]\ntimeout_ns = "
     "-7ms\n",
     1,
     {3, 0, 0, 2, 0}},
    {"LaterDuplicateWins",
     "[LIGHT]\nsection_1=2\n[CMD]\ntimeout_ns=1\n[LIGHT]\nsection_1=4\n",
     1,
     {4, 0, 0, 0, 1}},
    {"IndentedLineContinuesPreviousKey", "[LIGHT]\nsection_1 = 2\n  4\n", 1, {4, 0, 0, 0, 0}},
    {"IndentedKeyLineIsAValueOfThePreviousKey",
     "[LIGHT]\nsection_1 = 2\n    section_2 = 3\n",
     1,
     {0, 0, 0, 0, 0}},
    {"CommentsAndColonSeparator",
     "; section_2 = 9\n[LIGHT] ; lights\n# section_3 = 9\nsection_1 : 4 ; channel\n[CMD]\n"
     "timeout_ns = 7;8\n",
     1,
     {4, 0, 0, 0, 7}},
    {"ByteOrderMarkIsSkipped", kBom + "[LIGHT]\nsection_1 = 4\n", 1, {4, 0, 0, 0, 0}},
    // An over-long line is cut after 199 bytes; its first piece is taken as a
    // line of its own, and so is the rest.
    {"OverLongLineIsCutAndItsRestFails",
     "[LIGHT]\nsection_1 = 4" + std::string(300, 'x') + "\nsection_2 = 3\n",
     0,
     {4, 3, 0, 0, 0}},
    {"OverLongLineWhoseRestIsIndentedContinuesTheKey",
     "[LIGHT]\nsection_1 = 2" + std::string(250, ' ') + "9\n",
     1,
     {9, 0, 0, 0, 0}},
    {"HeaderWithoutBracketFailsAndKeepsNoSection", "[LIGHT\nsection_1 = 4\n", 0, {0, 0, 0, 0, 0}},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const IniCase& c, std::ostream* os) {
  *os << c.name;
}

class IniRules : public testing::TestWithParam<IniCase> {};

TEST_P(IniRules, FileGivesTheseValues) {
  KIV_REQUIRE_SANDBOX();
  ASSERT_TRUE(
      kivsim::Sandbox::set_cpuinfo(kivtest::cpuinfo_with_serial(kivtest::serial_not_in_table())));
  ASSERT_TRUE(kivtest::replace_config_file(GetParam().text));
  EXPECT_EQ(kivtest::configured_values(), GetParam().values);
  EXPECT_EQ(is_configed, GetParam().configed);
  // A failing file is read again with the same outcome.
  EXPECT_EQ(kivtest::configured_values(), GetParam().values);
}

INSTANTIATE_TEST_SUITE_P(Files, IniRules, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<IniCase>& param_info) {
                           return std::string(param_info.param.name);
                         });

}  // namespace
