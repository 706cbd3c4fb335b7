// SPDX-License-Identifier: MIT
#include "junit_report.h"

#include <cstdio>

namespace kivsim {

std::string xml_escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
          out += c;
    }
  }
  return out;
}

std::string junit_xml(const std::string& scenario, const std::vector<ExpectationTally>& tally,
                      double seconds) {
  int failures = 0;
  for (const ExpectationTally& t : tally)
    failures += t.held < t.runs ? 1 : 0;
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", seconds);
  const std::string suite = xml_escaped(scenario);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
  xml += "  <testsuite name=\"" + suite + "\" tests=\"" + std::to_string(tally.size()) +
         "\" failures=\"" + std::to_string(failures) + "\" errors=\"0\" time=\"" + time + "\">\n";
  for (const ExpectationTally& t : tally) {
    xml += "    <testcase classname=\"" + suite + "\" name=\"" +
           xml_escaped(t.where + ": " + t.description) + "\">\n";
    if (t.held < t.runs) {
      xml += "      <failure message=\"" + xml_escaped(t.messages.front()) + "\">";
      for (const std::string& m : t.messages)
        xml += xml_escaped(m) + "\n";
      xml += "</failure>\n";
    }
    xml += "      <system-out>held in " + std::to_string(t.held) + " of " + std::to_string(t.runs) +
           (t.runs == 1 ? " run" : " runs");
    if (!t.delays_ns.empty())
      xml += "; delays " + delay_spread_text(t.delays_ns);
    xml += "</system-out>\n    </testcase>\n";
  }
  return xml + "  </testsuite>\n</testsuites>\n";
}

}  // namespace kivsim
