// SPDX-License-Identifier: MIT
#include "uart_wave.h"

#include <algorithm>
#include <cstdio>

namespace kivsim {
namespace {

constexpr int64_t kSecondNs = 1000000000;

std::string seconds_text(int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f s", static_cast<double>(ns) / 1e9);
  return text;
}

int parity_bit(unsigned byte, int data_bits, char parity) {
  int ones = 0;
  for (int i = 0; i < data_bits; ++i)
    ones += (byte >> i) & 1;
  return parity == 'E' ? ones % 2 : 1 - ones % 2;
}

}  // namespace

void UartWave::add(int64_t time_ns, const std::string& bytes, SerialLine line) {
  if (bytes.empty())
    return;
  if (line.baud <= 0) {
    line = SerialLine{115200, 8, 'N', 1};
    if (!told_default_)
      file_.note(time_ns, label_ + ": the trace holds no line settings; drawn at 115200 8N1");
    told_default_ = true;
  }
  const int64_t start_ns = std::max(time_ns, free_at_ns_);
  if (bytes.size() > 1 || start_ns > time_ns)
    file_.note(start_ns, label_ + ": " + std::to_string(bytes.size()) + " byte" +
                             (bytes.size() == 1 ? "" : "s") + " read at " + seconds_text(time_ns) +
                             ", laid out back to back from " + seconds_text(start_ns));
  // Bit edges from the first start bit on, so that rounding never adds up.
  int64_t bit = 0;
  auto at = [&](int64_t n) { return start_ns + n * kSecondNs / line.baud; };
  for (unsigned char byte : bytes) {
    file_.change(at(bit++), var_, 0);
    for (int i = 0; i < line.data_bits; ++i)
      file_.change(at(bit++), var_, (byte >> i) & 1);
    if (line.parity != 'N')
      file_.change(at(bit++), var_,
                   static_cast<uint32_t>(parity_bit(byte, line.data_bits, line.parity)));
    file_.change(at(bit), var_, 1);
    bit += line.stop_bits;
  }
  free_at_ns_ = at(bit);
  file_.extend_to(free_at_ns_);
}

}  // namespace kivsim
