// SPDX-License-Identifier: MIT
// The GPIO stand-in's link, both directions: any line read as a report and
// as a command; whatever decodes, encoded again, decodes to the same.
#include <cstdint>
#include <string_view>

#include "check.h"
#include "gpio_wire.h"

namespace {

using namespace kivsim::link;

bool same(const GpioReport& a, const GpioReport& b) {
  return a.kind == b.kind && a.pin == b.pin && a.value == b.value && a.result == b.result &&
         a.count == b.count && a.time_ns == b.time_ns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Either end splits what it reads at newlines: a line never holds one.
  std::string_view line(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, line.find('\n'));
  GpioReport report;
  if (decode(line, report)) {
    char out[kGpioMaxLine];
    const size_t n = encode(report, out, sizeof out);
    KIV_FUZZ_CHECK(n > 0 && out[n - 1] == '\n');
    GpioReport again;
    KIV_FUZZ_CHECK(decode(std::string_view(out, n - 1), again) && same(again, report));
  }
  GpioCommand command;
  if (decode(line, command)) {
    GpioCommand again;
    KIV_FUZZ_CHECK(decode(encode(command), again) && again.kind == command.kind &&
                   again.pin == command.pin && again.level == command.level &&
                   again.mode == command.mode);
  }
  return 0;
}
