// SPDX-License-Identifier: MIT
// A scenario's outcome over several runs: the tally, the form a run's results
// travel in between processes, and the JUnit XML for CI servers.
#include <gtest/gtest.h>

#include "junit_report.h"
#include "scenario_results.h"

namespace kivsim {
namespace {

constexpr int64_t kMs = 1000000;

std::vector<std::vector<ExpectationResult>> three_runs() {
  const ExpectationResult held{"expect[0]", "light <on> & \"ready\"", true, "", {100 * kMs}};
  const ExpectationResult failed{"expect[0]",
                                 "light <on> & \"ready\"",
                                 false,
                                 std::string("expect[0]: took 400.0 ms\x01"),
                                 {400 * kMs}};
  const ExpectationResult exit_held{"expect[1]", "the program exits with status 0", true, "", {}};
  return {{held, exit_held}, {failed, exit_held}, {held, exit_held}};
}

TEST(ScenarioResults, RunsAreTalliedAndTravelWhole) {
  std::vector<std::vector<ExpectationResult>> runs = three_runs();
  // Through the pipe from the run's process, and back.
  std::vector<ExpectationResult> back;
  ASSERT_TRUE(results_from_json(results_to_json(runs[1]), back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].message, runs[1][0].message);
  EXPECT_FALSE(back[0].held);
  EXPECT_EQ(back[0].delays_ns, runs[1][0].delays_ns);
  for (const char* bad : {"", "{\"where\": 1}", "[{\"where\": \"x\"}]", "[1, 2"})
    EXPECT_FALSE(results_from_json(bad, back)) << bad;

  const std::vector<ExpectationTally> tally = tally_results(runs);
  ASSERT_EQ(tally.size(), 2u);
  EXPECT_EQ(tally[0].held, 2);
  EXPECT_EQ(tally[0].runs, 3);
  EXPECT_EQ(tally[0].messages, std::vector<std::string>{runs[1][0].message});
  EXPECT_EQ(delay_spread_text(tally[0].delays_ns),
            "min 100.0 ms, median 100.0 ms, max 400.0 ms over 3");
  EXPECT_EQ(tally[1].held, 3);
  EXPECT_EQ(delay_spread_text(tally[1].delays_ns), "no delay measured");
}

TEST(ScenarioResults, JunitHasACaseForEachExpectationAndEscapesWhatXmlCannotHold) {
  const std::string xml = junit_xml("a&b.json", tally_results(three_runs()), 2.5);
  for (const char* part :
       {"<testsuite name=\"a&amp;b.json\" tests=\"2\" failures=\"1\" errors=\"0\" time=\"2.500\">",
        "<testcase classname=\"a&amp;b.json\" name=\"expect[0]: light &lt;on&gt; &amp; "
        "&quot;ready&quot;\">",
        "<failure message=\"expect[0]: took 400.0 ms\">expect[0]: took 400.0 ms\n</failure>",
        "<system-out>held in 2 of 3 runs; delays min 100.0 ms, median 100.0 ms, max 400.0 ms "
        "over 3</system-out>",
        "name=\"expect[1]: the program exits with status 0\">\n      <system-out>held in 3 of 3 "
        "runs</system-out>"})
    EXPECT_NE(xml.find(part), std::string::npos) << part << "\n" << xml;
  EXPECT_EQ(xml.find('\x01'), std::string::npos);
  EXPECT_EQ(xml.rfind("<failure"), xml.find("<failure")) << "one failed case";
}

}  // namespace
}  // namespace kivsim
