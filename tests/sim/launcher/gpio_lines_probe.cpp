// SPDX-License-Identifier: MIT
// A program of the launcher's tests that uses the board's lines through the
// WiringPi stand-in, as a program of the board does. It sets up, then does
// what its arguments say, in order:
//   write PIN LEVEL   digitalWrite
//   output PIN        pinMode OUTPUT
//   input PIN         pinMode INPUT
//   read PIN          digitalRead, printed as "PIN=LEVEL"
#include <wiringPi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (wiringPiSetupGpio() != 0) {
    std::fprintf(stderr, "gpio_lines_probe: set-up failed\n");
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string action = argv[i];
    const bool two = action == "write";
    if (i + (two ? 2 : 1) >= argc) {
      std::fprintf(stderr, "gpio_lines_probe: %s needs its values\n", action.c_str());
      return 2;
    }
    const int pin = std::atoi(argv[++i]);
    if (action == "write") {
      digitalWrite(pin, std::atoi(argv[++i]));
    } else if (action == "output" || action == "input") {
      pinMode(pin, action == "output" ? OUTPUT : INPUT);
    } else if (action == "read") {
      std::printf("%d=%d\n", pin, digitalRead(pin));
      std::fflush(stdout);
    } else {
      std::fprintf(stderr, "gpio_lines_probe: unknown action %s\n", action.c_str());
      return 2;
    }
  }
  return 0;
}
