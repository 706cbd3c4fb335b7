// SPDX-License-Identifier: MIT
// Digital outputs: laser, alarm, scan status lines, DO1 and DO2.
#include <wiringPi.h>

#include "gpio/pins.h"
#include "kiv_io.h"

namespace kiv {

void KivIo::openLaser() {
  digitalWrite(pin::kLaser, HIGH);
}
void KivIo::closeLaser() {
  digitalWrite(pin::kLaser, LOW);
}

void KivIo::setScanStat(bool on) {
  // The two lines always end at opposite levels, A first.
  digitalWrite(pin::kScanStatA, on ? HIGH : LOW);
  digitalWrite(pin::kScanStatB, on ? LOW : HIGH);
}

void KivIo::openAlarm() {
  digitalWrite(pin::kAlarm, HIGH);
}
void KivIo::closeAlarm() {
  digitalWrite(pin::kAlarm, LOW);
}

void KivIo::setDo1High(bool high) {
  digitalWrite(pin::kDo1, high ? HIGH : LOW);
}
void KivIo::setDo2High(bool high) {
  digitalWrite(pin::kDo2, high ? HIGH : LOW);
}

}  // namespace kiv
