// SPDX-License-Identifier: MIT
// The two light controller frames the serial service builds itself: switching
// one channel and setting the brightness. Each frame is built on the caller's
// stack and handed to port index 1 in one write, followed by the write pause.
#include "kiv_serial.h"

namespace {

constexpr int kLightPort = 1;
constexpr char kSeparator = '-';
constexpr char kBrightnessCommand = 'C';
constexpr int kMinBrightness = 20;
constexpr int kMaxBrightness = 479;

}  // namespace

int svSetLightCtl(int channel, int state) {
  if (channel < 1 || channel > 4)
    return -1;
  char frame[5] = {static_cast<char>('0' + channel), kSeparator,
                   static_cast<char>('0' + (state & 0xFF)),  // low 8 bits, as sent
                   '\r', '\n'};
  return svWriteSerial(frame, sizeof frame, kLightPort);
}

int svSetBrightnessValue(int value) {
  if (value < kMinBrightness || value > kMaxBrightness)
    return -1;
  // 16-bit big-endian; the zero high byte of values below 256 is sent as is.
  char frame[6] = {kBrightnessCommand,
                   kSeparator,
                   static_cast<char>((value >> 8) & 0xFF),
                   static_cast<char>(value & 0xFF),
                   '\r',
                   '\n'};
  return svWriteSerial(frame, sizeof frame, kLightPort);
}
