// SPDX-License-Identifier: MIT
// The strip stand-in's reports: any line decoded; whatever decodes, encoded
// again, decodes to the same.
#include <cstdint>
#include <memory>
#include <string_view>

#include "check.h"
#include "strip_wire.h"

namespace {

using namespace kivsim::link;

bool same(const StripReport& a, const StripReport& b) {
  return a.kind == b.kind && a.init.result == b.init.result && a.init.freq == b.init.freq &&
         a.init.dmanum == b.init.dmanum && a.init.gpionum == b.init.gpionum &&
         a.init.count == b.init.count && a.init.strip_type == b.init.strip_type &&
         a.init.brightness == b.init.brightness && a.leds == b.leds && a.text == b.text &&
         a.count == b.count && a.time_ns == b.time_ns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The launcher splits what it reads at newlines: a line never holds one.
  std::string_view line(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, line.find('\n'));
  StripReport report;
  if (!decode(line, report))
    return 0;
  static const std::unique_ptr<char[]> out(new char[kStripMaxLine]);
  const size_t n = encode(report, out.get(), kStripMaxLine);
  KIV_FUZZ_CHECK(n > 0 && out[n - 1] == '\n');
  StripReport again;
  KIV_FUZZ_CHECK(decode(std::string_view(out.get(), n - 1), again) && same(again, report));
  return 0;
}
