// SPDX-License-Identifier: MIT
// Light sections, flash and the generic light controller command: one frame
// each through the port-1 write and its pause.
#include "kiv_config.h"
#include "kiv_io.h"
#include "kiv_serial.h"
#include "light/light_frame.h"

namespace kiv {
namespace {

bool valid_section(int section) {
  return section >= 1 && section <= 4;
}

}  // namespace

int KivIo::enableLightSection(int section) {
  if (!valid_section(section))
    return 1;
  return svSetLightCtl(firmware_index_v2(section), 1);
}

int KivIo::disableLightSection(int section) {
  if (!valid_section(section))
    return -1;
  return svSetLightCtl(firmware_index_v2(section), 0);
}

int KivIo::callCmd(char cmd, char arg) {
  char frame[5] = {cmd, '-', arg, '\r', '\n'};
  return writeAMA2(frame, sizeof frame);
}

void KivIo::callLightFlash() {
  callCmd(light::kFlash, light::kFlashOnce);
}

void KivIo::setLightFlashCount(int count) {
  callCmd(light::kFlashCount, light::low_byte(count));
}

void KivIo::setLightFlashTime(int time) {
  callCmd(light::kFlashTime, light::low_byte(time));
}

}  // namespace kiv
