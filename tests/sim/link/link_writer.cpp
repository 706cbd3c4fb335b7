// SPDX-License-Identifier: MIT
// A program for the link's tests, run on the simulated board: it writes the
// DO1 line (GPIO 22) low COUNT times as fast as it can, then high, and ends.
#include <cstdlib>

#include "wiringPi.h"

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 60000;
  if (wiringPiSetupGpio() != 0)
    return 1;
  pinMode(22, OUTPUT);
  for (long i = 0; i < count; ++i)
    digitalWrite(22, 0);
  digitalWrite(22, 1);
  return 0;
}
